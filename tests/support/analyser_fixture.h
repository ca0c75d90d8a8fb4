#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "log_import.h"
#include "report_document.h"
#include "temp_dir.h"

namespace vantry::analyser::testing {

/// A log line in the gateway's format (ten fields), without its line end.
inline std::string LogLine(std::string_view status, std::string_view ip, std::string_view date,
                           std::string_view time, std::string_view host = "",
                           std::string_view alt = "", std::string_view type = "",
                           std::string_view source = "") {
  return "255|7|" + std::string(status) + "|" + std::string(ip) + "|" + std::string(alt) + "|" +
         std::string(host) + "|" + std::string(type) + "|" + std::string(source) + "|" +
         std::string(date) + "|" + std::string(time);
}

/// Lines joined with CR LF, as the gateway writes them.
inline std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

/// A folder with a report database loaded from the given log text.
class LoadedDb {
 public:
  explicit LoadedDb(const std::string& log_text) {
    ::vantry::testing::WriteFileText(log_file(), log_text);
    result = LoadLog(log_file(), db_file());
    EXPECT_TRUE(result.status.ok) << result.status.message;
  }
  std::filesystem::path log_file() const { return dir.path() / "vantry.log"; }
  std::filesystem::path db_file() const { return dir.path() / "report.dpr"; }

  ::vantry::testing::TempDir dir;
  ImportResult result;
};

/// The document split at LF (the last, empty piece after the final LF dropped).
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

/// The report skeleton's ten lines.
inline std::vector<std::string> SkeletonLines() {
  ReportDocument document;
  document.ReportCreate();
  return Lines(document.text());
}

/// Compares line by line, so a failure names the first line that differs.
inline void ExpectLines(const std::vector<std::string>& expected,
                        const std::vector<std::string>& actual) {
  for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
    ASSERT_EQ(expected[i], actual[i]) << "line " << i + 1;
  }
  ASSERT_EQ(expected.size(), actual.size());
}

}  // namespace vantry::analyser::testing
