#include "report_document.h"

#include "atomic_file.h"

namespace vantry::analyser {

void ReportDocument::ReportCreate() {
  ReportClear();
  ReportAdd("<html><head><title>Korvane Vantry Gateway</title></head>");
  ReportAdd("<body>");
  ReportAdd("<center>");
  ReportAdd("     <font face=verdana size=5>");
  ReportAdd("         <B><U>Korvane Industries Incorporated</U></B><BR>");
  ReportAdd("     </font>");
  ReportAdd("     <font face=verdana size=3>");
  ReportAdd("         <B>Vantry Usage Report</B><BR>");
  ReportAdd("     </font>");
  ReportAdd("</center>");
}

void ReportDocument::ReportAdd(std::string_view line) {
  text_.append(line);
  text_ += '\n';
}

void ReportDocument::ReportEnd() {
  ReportAdd("</body>");
  ReportAdd("</html>");
}

void ReportDocument::ReportClear() { text_.clear(); }

Status SaveReport(const ReportDocument& document, const std::filesystem::path& file) {
  std::string reason;
  if (!WriteFileAtomically(file.string(), document.text() + "\r\n", &reason)) {
    return Status::Error("Cannot save the report " + reason + ".");
  }
  return Status::Ok();
}

}  // namespace vantry::analyser
