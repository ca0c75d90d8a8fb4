#include "log_totals.h"

#include "report_db.h"

namespace vantry::analyser {
namespace {

Status CountColumn(ReportDb& db, std::string_view access_sql, std::string_view column,
                   std::int64_t* value) {
  Statement query;
  if (Status s = db.Prepare(access_sql, &query); !s.ok) return s;
  if (!query.Step()) {
    return Status::Error(query.error().empty() ? "The totals query returned no row."
                                               : query.error());
  }
  *value = query.Int64(query.ColumnIndex(column));
  return Status::Ok();
}

}  // namespace

Status ShowTotals(const std::filesystem::path& db_file, LogTotals* totals,
                  std::string_view gateway) {
  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadOnly, gateway); !s.ok) return s;
  LogTotals t;
  if (Status s = CountColumn(db, "select count(*) as TotalOK from tbl_log where statuscode='ok'",
                             "totalok", &t.oks);
      !s.ok) {
    return s;
  }
  if (Status s = CountColumn(db, "select count(*) as TotalBL from tbl_log where statuscode='bl'",
                             "totalbl", &t.bls);
      !s.ok) {
    return s;
  }
  if (Status s = db.CountRows("select distinct ip1 from tbl_log", &t.ips); !s.ok) return s;
  *totals = t;
  return Status::Ok();
}

std::string EntriesPanelText(std::int64_t entries) { return "Entries " + std::to_string(entries); }
std::string OksPanelText(const LogTotals& t) { return "Connects: " + std::to_string(t.oks); }
std::string BlsPanelText(const LogTotals& t) { return "Banned: " + std::to_string(t.bls); }
std::string IpsPanelText(const LogTotals& t) { return "IP's: " + std::to_string(t.ips); }

}  // namespace vantry::analyser
