#include "report_listing.h"

#include <string>

#include "date_time_text.h"
#include "html_escape.h"
#include "report_messages.h"

namespace vantry::analyser {
namespace {

constexpr std::string_view kEntryColumns[7] = {"connectdate", "connecttime", "ip1",   "host",
                                               "statuscode",  "bltype",      "blinfo"};
constexpr std::string_view kEntryHeaders[7] = {"Date",   "Time",  "IP Address", "Host",
                                               "Status", "DNSBL", "Information"};

}  // namespace

void WriteHitsLine(ReportDocument& document, std::int64_t count) {
  document.ReportAdd("<center><font size=2 face=verdana>Total Number of hits:" +
                     std::to_string(count) + "</font></center>");
}

void WriteNoMatchLine(ReportDocument& document) {
  document.ReportAdd(
      "<center><font size=2 face=verdana>There are no matches found for the criteria "
      "specified!</font></center>");
}

void WriteEntryTableHead(ReportDocument& document) {
  document.ReportAdd(
      "<table cellspacing=2 cellpadding=5 border=1 align=center bodercolor=lightgrey>");
  document.ReportAdd("     <tr>");
  for (std::string_view header : kEntryHeaders) {
    document.ReportAdd("         <td><B><font size=2 face=arial>" + std::string(header) +
                       "</font></B></td>");
  }
  document.ReportAdd("     </tr>");
}

EntryRowWriter::EntryRowWriter(const Statement& query) {
  for (int i = 0; i < 7; ++i) columns_[i] = query.ColumnIndex(kEntryColumns[i]);
}

void EntryRowWriter::Write(const Statement& query, ReportDocument& document) const {
  document.ReportAdd("     <tr>");
  for (int i = 0; i < 7; ++i) {
    std::string_view raw = query.Text(columns_[i]);
    std::string value = i == 0 ? DisplayDate(raw) : i == 1 ? DisplayTime(raw) : std::string(raw);
    document.ReportAdd("         <td><B><font size=2 face=arial>" + HtmlEscape(value) +
                       "</font></B></td>");
  }
  document.ReportAdd("     </tr>");
}

Status WriteListing(ReportDb& db, std::string_view access_query, std::int64_t count,
                    const ReportContext& context, ReportDocument& document) {
  std::string query(access_query);
  std::int64_t max_rows = -1;
  if (count > kLargeResultLimit && context.ask_limit && context.ask_limit()) {
    query = "select top " + std::to_string(kLargeResultLimit) + " " + query.substr(6);
    max_rows = kLargeResultLimit;
  }
  if (count == 0) {
    WriteNoMatchLine(document);
    return Status::Ok();
  }
  Statement rows;
  if (Status s = db.Prepare(query, &rows); !s.ok) return s;
  EntryRowWriter writer(rows);
  WriteEntryTableHead(document);
  std::int64_t written = 0;
  while ((max_rows < 0 || written < max_rows) && rows.Step()) {
    writer.Write(rows, document);
    ++written;
  }
  if (!rows.error().empty()) return Status::Error(rows.error());
  document.ReportAdd("</table>");
  return Status::Ok();
}

}  // namespace vantry::analyser
