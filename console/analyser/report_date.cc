#include "report_date.h"

#include "date_time_text.h"
#include "html_escape.h"
#include "report_db.h"
#include "report_listing.h"
#include "sql_text.h"

namespace vantry::analyser {

DateDialogFields LoadDateDialog(const ReportParams& params) {
  DateDialogFields fields;
  if (!TrimSpacesAndTabs(params.DateStart).empty()) fields.txtDateStart = params.DateStart;
  if (!TrimSpacesAndTabs(params.DateEnd).empty()) fields.txtDateEnd = params.DateEnd;
  if (!TrimSpacesAndTabs(params.TimeStart).empty()) fields.txtTimeStart = params.TimeStart;
  if (!TrimSpacesAndTabs(params.TimeEnd).empty()) fields.txtTimeEnd = params.TimeEnd;
  ApplyTimeCheck(fields, params.TimeBased);
  return fields;
}

void ApplyTimeCheck(DateDialogFields& fields, bool ticked) {
  fields.chkTime = ticked;
  if (ticked) fields.txtDateEnd = fields.txtDateStart;
}

DateDialogCheck CheckDateDialog(const DateDialogFields& input) {
  DateDialogCheck check;
  check.fields = input;
  DateDialogFields& f = check.fields;
  auto refuse = [&](DateDialogField field, std::string_view message) {
    check.focus = field;
    check.message = message;
    return check;
  };
  auto date_start = ParseUserDate(f.txtDateStart);
  if (!date_start) {
    return refuse(DateDialogField::kDateStart,
                  "Please correct the Starting Date parameter as shown.");
  }
  f.txtDateStart = FormatDialogDate(*date_start);
  auto date_end = ParseUserDate(f.txtDateEnd);
  if (!date_end) {
    return refuse(DateDialogField::kDateEnd, "Please correct the Ending Date parameter as shown.");
  }
  f.txtDateEnd = FormatDialogDate(*date_end);
  if (f.chkTime) {
    auto time_start = ParseUserTime(f.txtTimeStart);
    if (!time_start) {
      return refuse(DateDialogField::kTimeStart,
                    "Please correct the Starting Time parameter as shown.");
    }
    f.txtTimeStart = FormatDialogTime(*time_start);
    auto time_end = ParseUserTime(f.txtTimeEnd);
    if (!time_end) {
      return refuse(DateDialogField::kTimeEnd,
                    "Please correct the Ending Time parameter as shown.");
    }
    f.txtTimeEnd = FormatDialogTime(*time_end);
  }
  check.ok = true;
  return check;
}

void StoreDateDialog(const DateDialogFields& fields, ReportParams& params) {
  params.DateStart = fields.txtDateStart;
  params.DateEnd = fields.txtDateEnd;
  params.TimeStart = fields.txtTimeStart;
  params.TimeEnd = fields.txtTimeEnd;
  params.TimeBased = fields.chkTime;
}

std::string DateReportQuery(const ReportParams& p) {
  if (p.TimeBased) {
    return "select * from tbl_log where (connectdate=#" + p.DateStart +
           "#) and (connecttime between #" + p.TimeStart + "# and #" + p.TimeEnd +
           "#) order by connecttime";
  }
  return "select * from tbl_log where connectdate between #" + p.DateStart + "# and #" + p.DateEnd +
         "# order by connectdate";
}

Status GenReportDate(const ReportParams& p, const ReportContext& context,
                     ReportDocument& document) {
  // The dialog checks these, but parameters may come from elsewhere (the
  // command line); an unchecked "#" could otherwise end a literal early.
  DateDialogFields fields{p.DateStart, p.DateEnd, p.TimeStart, p.TimeEnd, p.TimeBased};
  if (DateDialogCheck check = CheckDateDialog(fields); !check.ok) {
    return Status::Error(check.message);
  }
  if (p.DateStart.find('#') != std::string::npos || p.DateEnd.find('#') != std::string::npos ||
      (p.TimeBased &&
       (p.TimeStart.find('#') != std::string::npos || p.TimeEnd.find('#') != std::string::npos))) {
    return Status::Error("Dates and times may not contain \"#\".");
  }
  ReportDb db;
  if (Status s = db.Open(context.db_file, ReportDb::Mode::kReadOnly, context.gateway); !s.ok) return s;
  std::string query = DateReportQuery(p);
  std::int64_t count = 0;
  if (Status s = db.CountRows(query, &count); !s.ok) return s;
  std::string range =
      p.TimeBased ? "Time range of :<B>" + HtmlEscape(p.TimeStart) + " to " +
                        HtmlEscape(p.TimeEnd) + " on " + HtmlEscape(p.DateStart)
                  : "Date range of: <B>" + HtmlEscape(p.DateStart) + " to " + HtmlEscape(p.DateEnd);
  document.ReportAdd("<center><font size=2 face=verdana>Report based on " + range +
                     "</B></font></center>");
  WriteHitsLine(document, count);
  return WriteListing(db, query, count, context, document);
}

}  // namespace vantry::analyser
