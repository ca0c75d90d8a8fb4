#include "service_unit.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "registry_store.h"
#include "whole_file.h"

namespace vantry::console {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUnitName = "daskvantry";

// The words of a unit line's value: blanks split them outside double quotes;
// a backslash takes the next character as it is and "%%" is one "%", as -install
// writes them.
std::vector<std::string> UnitWords(std::string_view value) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, in_word = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (c == '\\' && i + 1 < value.size()) {
      word += value[++i];
      in_word = true;
    } else if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
      word += value[++i];
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

// The settings file a gateway unit runs on; nullopt for a unit of another program.
std::optional<std::string> UnitSettingsFile(const std::string& unit_text) {
  std::string settings = kDefaultRegistryPath;
  bool runs_gateway = false;
  std::size_t start = 0;
  while (start < unit_text.size()) {
    std::size_t end = unit_text.find('\n', start);
    if (end == std::string::npos) end = unit_text.size();
    std::string_view line(unit_text.data() + start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    start = end + 1;
    if (line.starts_with("ExecStart=")) {
      const auto words = UnitWords(line.substr(10));
      runs_gateway = !words.empty() && fs::path(words[0]).filename() == "vantrysvc";
    } else if (line.starts_with("Environment=")) {
      for (const std::string& word : UnitWords(line.substr(12))) {
        if (word.starts_with("VANTRY_REGISTRY=")) settings = word.substr(16);
      }
    }
  }
  if (!runs_gateway) return std::nullopt;
  return settings;
}

}  // namespace

std::string ServiceUnitFolder() {
  const char* env = std::getenv("VANTRY_UNIT_DIR");
  return env && *env ? std::string(env) : std::string("/etc/systemd/system");
}

std::optional<std::string> ServiceUnitFor(std::string_view settings_path,
                                          std::string_view unit_folder) {
  std::vector<std::string> units;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(unit_folder, ec)) {
    if (entry.path().extension() != ".service") continue;
    std::string text;
    if (ReadWholeFile(entry.path().string(), text) != 0) continue;
    std::optional<std::string> settings = UnitSettingsFile(text);
    if (settings &&
        fs::path(*settings).lexically_normal() == fs::path(settings_path).lexically_normal()) {
      units.push_back(entry.path().stem().string());
    }
  }
  std::sort(units.begin(), units.end(), [](const std::string& a, const std::string& b) {
    return (a == kUnitName) != (b == kUnitName) ? a == kUnitName : a < b;
  });
  if (!units.empty()) return units.front();
  if (settings_path == kDefaultRegistryPath) return std::string(kUnitName);
  return std::nullopt;
}

}  // namespace vantry::console
