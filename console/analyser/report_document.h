#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "status.h"

namespace vantry::analyser {

/// The HTML report built in memory line by line; each line ends in LF.
class ReportDocument {
 public:
  /// Clears the document and writes the page head and the report title.
  void ReportCreate();
  /// Appends one line and LF.
  void ReportAdd(std::string_view line);
  /// Appends "</body>" and "</html>".
  void ReportEnd();
  /// Empties the document.
  void ReportClear();
  /// Appends every line of another document (a part built ahead of its place).
  void Append(const ReportDocument& part) { text_ += part.text_; }

  const std::string& text() const { return text_; }
  bool empty() const { return text_.empty(); }

 private:
  std::string text_;
};

/// Writes the document followed by one CR LF, replacing the file atomically
/// (a failed save never leaves half a report behind).
Status SaveReport(const ReportDocument& document, const std::filesystem::path& file);

}  // namespace vantry::analyser
