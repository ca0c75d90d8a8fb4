#include "report_ip.h"

#include <algorithm>

#include "date_time_text.h"
#include "html_escape.h"
#include "report_db.h"
#include "report_listing.h"
#include "sql_text.h"

namespace vantry::analyser {

std::optional<std::size_t> MaxIPDialogSelection(std::int64_t log_ips) {
  if (log_ips < 1) return std::nullopt;
  return 0;
}

std::optional<std::size_t> DefIPDialogSelection(std::int64_t log_ips) {
  if (log_ips < 1) return std::nullopt;
  return static_cast<std::size_t>(std::min<std::int64_t>(log_ips, 100) - 1);
}

void StoreDefIPDialog(const DefIPDialogFields& f, ReportParams& params) {
  params.ReportIP = std::string(TrimSpacesAndTabs(f.txtIP));
  params.ReportHost = std::string(TrimSpacesAndTabs(f.txtHost));
  params.SearchHost = f.host_name_selected;
  if (f.limit) params.MaxResults = *f.limit;
  params.DateOrder = f.reverse_chronological ? " DESC" : "";
  params.WildPrefix = f.chkWildPre;
  params.WildSuffix = f.chkWildSuf;
}

std::string AddressCondition(const ReportParams& p) {
  std::string condition = p.SearchHost ? "host " : "ip1 ";
  condition += (p.WildPrefix || p.WildSuffix) ? "like " : "= ";
  condition += p.WildPrefix ? "'%" : "'";
  condition += DoubleQuotes(p.SearchHost ? p.ReportHost : p.ReportIP);
  condition += p.WildSuffix ? "%'" : "'";
  return condition;
}

std::string AddressListingQuery(const ReportParams& p, std::int64_t row_limit) {
  // Only the two orders the dialog offers reach the query text.
  std::string order = AsciiLower(TrimSpacesAndTabs(p.DateOrder)) == "desc" ? " DESC" : "";
  return "select top " + std::to_string(row_limit) + " * from tbl_log where " +
         AddressCondition(p) + " order by connectdate " + order;
}

Status GenReportIP(const ReportParams& p, const ReportContext& context, ReportDocument& document) {
  ReportDb db;
  if (Status s = db.Open(context.db_file, ReportDb::Mode::kReadOnly, context.gateway); !s.ok) return s;
  std::int64_t hits = 0;
  {
    Statement count;
    if (Status s = db.Prepare(
            "select count(*) as CountIP from tbl_log where " + AddressCondition(p), &count);
        !s.ok) {
      return s;
    }
    if (count.Step()) hits = count.Int64(count.ColumnIndex("CountIP"));
    if (!count.error().empty()) return Status::Error(count.error());
  }
  if (hits < 1) {
    document.ReportAdd(
        "<center><font size=2 face=verdana>Report based on specific IP Address/Host "
        "Name</font></center>");
    document.ReportAdd("<center><font size=2 face=verdana>IP Address:" + HtmlEscape(p.ReportIP) +
                       "</font></center>");
    document.ReportAdd("<center><font size=2 face=verdana>Host Name:" + HtmlEscape(p.ReportHost) +
                       "</font></center>");
    document.ReportAdd("<BR>");
    document.ReportAdd(
        "<center><font size=2 face=verdana>There are no matches found for this IP address or "
        "host name!</font></center>");
    return Status::Ok();
  }
  // A limit of 0 (none defined) cannot list anything; list every hit instead.
  std::int64_t row_limit = (p.MaxResults > 0 && p.MaxResults <= hits) ? p.MaxResults : hits;

  Statement rows;
  if (Status s = db.Prepare(AddressListingQuery(p, row_limit), &rows); !s.ok) return s;
  // Buffered because the From/To lines need the last record before the table.
  ReportDocument table;
  EntryRowWriter writer(rows);
  std::string first_date, first_time, last_date, last_time;
  bool first = true;
  while (rows.Step()) {
    last_date = DisplayDate(rows.Text(rows.ColumnIndex("connectdate")));
    last_time = DisplayTime(rows.Text(rows.ColumnIndex("connecttime")));
    if (first) {
      first_date = last_date;
      first_time = last_time;
      first = false;
    }
    writer.Write(rows, table);
  }
  if (!rows.error().empty()) return Status::Error(rows.error());

  std::string subject = p.SearchHost ? "Host Name:<B>" + HtmlEscape(p.ReportHost)
                                     : "IP Address:<B>" + HtmlEscape(p.ReportIP);
  document.ReportAdd("<center><font size=2 face=verdana>Report based on specific " + subject +
                     "</B></font></center>");
  WriteHitsLine(document, hits);
  document.ReportAdd("<center><font size=2 face=verdana>From " + HtmlEscape(first_date) + " - " +
                     HtmlEscape(first_time));
  document.ReportAdd(" To " + HtmlEscape(last_date) + " - " + HtmlEscape(last_time) +
                     "</font></center>");
  WriteEntryTableHead(document);
  document.Append(table);
  document.ReportAdd("</table>");
  return Status::Ok();
}

}  // namespace vantry::analyser
