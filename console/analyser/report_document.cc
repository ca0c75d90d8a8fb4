#include "report_document.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
  auto failure = [&](int error) {
    return Status::Error("Cannot save the report \"" + file.string() +
                         "\": " + std::strerror(error) + ".");
  };
  std::filesystem::path temp = file;
  temp += ".tmp" + std::to_string(::getpid());
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) return failure(errno);
  bool ok = std::fwrite(document.text().data(), 1, document.text().size(), out) ==
                document.text().size() &&
            std::fwrite("\r\n", 1, 2, out) == 2;
  int error = errno;
  ok = (std::fflush(out) == 0) && ok;
  if (!ok) error = errno;
  ok = (std::fclose(out) == 0) && ok;
  if (!ok) {
    std::remove(temp.c_str());
    return failure(error ? error : EIO);
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    error = errno;
    std::remove(temp.c_str());
    return failure(error);
  }
  return Status::Ok();
}

}  // namespace vantry::analyser
