#include "registry_document.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "text_trim.h"

namespace vantry {
namespace {

std::string_view StripLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

// Reads a quoted string with \\ and \" escapes starting at text[0] == '"'.
// Returns the unescaped text and advances pos past the closing quote.
std::optional<std::string> ReadQuoted(std::string_view text, size_t& pos) {
  if (pos >= text.size() || text[pos] != '"') return std::nullopt;
  std::string out;
  for (size_t i = pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\') {
      if (i + 1 >= text.size()) return std::nullopt;
      out.push_back(text[++i]);
    } else if (c == '"') {
      pos = i + 1;
      return out;
    } else {
      out.push_back(c);
    }
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ParseDword(std::string_view hex) {
  if (hex.empty() || hex.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<RegEntry> ParseValueLine(std::string_view line) {
  size_t pos = 0;
  auto name = ReadQuoted(line, pos);
  if (!name || name->empty()) return std::nullopt;
  std::string_view rest = TrimSpacesAndTabs(line.substr(pos));
  if (rest.empty() || rest.front() != '=') return std::nullopt;
  rest = TrimSpacesAndTabs(rest.substr(1));
  if (!rest.empty() && rest.front() == '"') {
    size_t data_pos = 0;
    auto text = ReadQuoted(rest, data_pos);
    if (!text || !TrimSpacesAndTabs(rest.substr(data_pos)).empty()) return std::nullopt;
    return RegEntry{*name, *text};
  }
  constexpr std::string_view kDword = "dword:";
  if (rest.substr(0, kDword.size()) == kDword) {
    auto number = ParseDword(rest.substr(kDword.size()));
    if (!number) return std::nullopt;
    return RegEntry{*name, *number};
  }
  return std::nullopt;
}

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

RegistryDocument RegistryDocument::Parse(std::string_view text) {
  RegistryDocument doc;
  RegKey* current = nullptr;
  // Where a line we do not read is kept: the key whose section it is in (a
  // damaged section header's lines stay with the key before it), by index
  // since adding keys moves them.
  std::optional<size_t> keeper;
  auto keep = [&](std::string_view raw) {
    auto& lines = keeper ? doc.keys_[*keeper].kept_lines : doc.kept_before_keys_;
    lines.emplace_back(raw);
  };
  // Editors that save as UTF-8 may put a byte-order mark before the header.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  size_t start = 0;
  bool first_line = true;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view raw = StripLineEnd(text.substr(start, end - start));
    std::string_view line = TrimSpacesAndTabs(raw);
    start = end + 1;
    if (first_line) {
      first_line = false;
      // The header names the format; tolerate its absence rather than lose the values.
      if (line == "REGEDIT4" || line == "Windows Registry Editor Version 5.00") continue;
    }
    if (line.empty()) continue;
    if (line.front() == ';') {
      keep(raw);
      continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
        ++doc.skipped_lines_;
        keep(raw);
        current = nullptr;
        continue;
      }
      std::string path(line.substr(1, line.size() - 2));
      current = doc.FindKey(path);
      if (current == nullptr) {
        doc.keys_.push_back(RegKey{path, {}, {}});
        current = &doc.keys_.back();
      }
      keeper = static_cast<size_t>(current - doc.keys_.data());
      continue;
    }
    auto entry = current ? ParseValueLine(line) : std::nullopt;
    if (!entry) {
      ++doc.skipped_lines_;
      keep(raw);
      continue;
    }
    auto it = std::find_if(current->values.begin(), current->values.end(),
                           [&](const RegEntry& e) { return e.name == entry->name; });
    if (it != current->values.end()) {
      *it = std::move(*entry);  // a later duplicate wins, as an import would do
    } else {
      current->values.push_back(std::move(*entry));
    }
  }
  return doc;
}

std::string RegistryDocument::Serialize() const {
  std::string out = "REGEDIT4\r\n";
  for (const std::string& line : kept_before_keys_) out += line + "\r\n";
  for (const RegKey& key : keys_) {
    out += "\r\n[" + key.path + "]\r\n";
    for (const RegEntry& entry : key.values) {
      AppendQuoted(out, entry.name);
      out.push_back('=');
      if (const auto* text = std::get_if<std::string>(&entry.data)) {
        AppendQuoted(out, *text);
      } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", std::get<std::uint32_t>(entry.data));
        out += buf;
      }
      out += "\r\n";
    }
    for (const std::string& line : key.kept_lines) out += line + "\r\n";
  }
  out += "\r\n";
  return out;
}

const RegKey* RegistryDocument::FindKey(std::string_view path) const {
  for (const RegKey& key : keys_) {
    if (key.path == path) return &key;
  }
  return nullptr;
}

RegKey* RegistryDocument::FindKey(std::string_view path) {
  return const_cast<RegKey*>(std::as_const(*this).FindKey(path));
}

std::vector<std::string> RegistryDocument::SubkeyNames(std::string_view path) const {
  // A section for A\B\C implies the keys A\B and A, as importing the file would create them.
  std::vector<std::string> names;
  std::string prefix = std::string(path) + "\\";
  for (const RegKey& key : keys_) {
    if (key.path.size() > prefix.size() && key.path.compare(0, prefix.size(), prefix) == 0) {
      std::string rest = key.path.substr(prefix.size());
      std::string child = rest.substr(0, rest.find('\\'));
      if (std::find(names.begin(), names.end(), child) == names.end()) names.push_back(child);
    }
  }
  return names;
}

bool RegistryDocument::AddKey(std::string_view path) {
  if (FindKey(path) != nullptr) return false;
  keys_.push_back(RegKey{std::string(path), {}, {}});
  return true;
}

bool RegistryDocument::DeleteKeyTree(std::string_view path) {
  std::string prefix = std::string(path) + "\\";
  auto old_size = keys_.size();
  std::erase_if(keys_, [&](const RegKey& key) {
    return key.path == path || key.path.compare(0, prefix.size(), prefix) == 0;
  });
  return keys_.size() != old_size;
}

const RegEntry* FindValue(const RegKey& key, std::string_view name) {
  for (const RegEntry& entry : key.values) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace vantry
