#include "report_hits.h"

#include <algorithm>

#include "html_escape.h"
#include "report_db.h"

namespace vantry::analyser {
namespace {

// min(rowid) makes SQLite take host and ip2 from each address's first entry,
// and gives the order in which the addresses were first seen. "+ip1" groups by
// the same NOCASE column but keeps SQLite off the address index: reading the
// whole table through it costs a lookup per row, far slower than one scan.
constexpr std::string_view kGroupedQuery =
    "select ip1, host, ip2, sum(statuscode='OK') as passed, sum(statuscode='BL') as blocked, "
    "min(rowid) as first_seen from tbl_log group by +ip1 order by first_seen";
// PostgreSQL has no bare columns in a group: the first entry is joined back.
// Grouped by the address folded to lower case in ASCII only, as SQLite's NOCASE
// does; it hashes a quarter faster than the citext column itself.
constexpr std::string_view kPgGroupedQuery =
    "select t.ip1, t.host, t.ip2, g.passed, g.blocked, g.first_seen from (select "
    "count(*) filter (where statuscode = 'OK') as passed, count(*) filter (where statuscode = "
    "'BL') as blocked, min(rowid) as first_seen from tbl_log group by lower(ip1::text COLLATE "
    "\"C\")) g join tbl_log t on t.rowid = g.first_seen order by g.first_seen";

std::string Cell(std::string_view value) {
  return "         <td><font size=2 face=arial>" + std::string(value) + "</font></td>";
}
std::string PaddedCell(std::string_view value) {
  return "         <td><font size=2 face=arial> " + std::string(value) + " </font></td>";
}

}  // namespace

Status CollectAddressHits(const std::filesystem::path& db_file, std::vector<AddressHits>* rows,
                          std::string_view gateway) {
  rows->clear();
  ReportDb db;
  if (Status s = db.Open(db_file, ReportDb::Mode::kReadOnly, gateway); !s.ok) return s;
  Statement query;
  Status prepared = db.kind() == DbKind::kPostgres ? db.PrepareNative(kPgGroupedQuery, &query)
                                                   : db.Prepare(kGroupedQuery, &query);
  if (!prepared.ok) return prepared;
  while (query.Step()) {
    AddressHits row;
    row.address = query.Text(0);
    row.host = query.IsNull(1) ? "&nbsp;" : HtmlEscape(query.Text(1));
    row.alt_ip = query.Text(2);
    row.passed = query.Int64(3);
    row.blocked = query.Int64(4);
    rows->push_back(std::move(row));
  }
  if (!query.error().empty()) return Status::Error(query.error());
  std::stable_sort(rows->begin(), rows->end(),
                   [](const AddressHits& a, const AddressHits& b) { return a.hits() > b.hits(); });
  return Status::Ok();
}

Status GenReportHits(const ReportParams& params, const ReportContext& context,
                     ReportDocument& document) {
  std::vector<AddressHits> rows;
  if (Status s = CollectAddressHits(context.db_file, &rows, context.gateway); !s.ok) return s;
  std::int64_t blocks = 0;
  std::int64_t connections = 0;
  for (const AddressHits& row : rows) {
    blocks += row.blocked;
    connections += row.passed;
  }

  document.ReportAdd(
      "<center><font size=2 face=verdana>Report based on IP Address Hits</font></center>");
  document.ReportAdd(
      "<table cellspacing=2 cellpadding=5 border=1 align=center bodercolor=lightgrey>");
  document.ReportAdd("     <tr>");
  for (std::string_view header :
       {"IP Address", "Host Name", "Alt IP", "Hits", "Connected", "Blocked"}) {
    document.ReportAdd("         <td><B><font size=2 face=arial>" + std::string(header) +
                       "</font></B></td>");
  }
  document.ReportAdd("     </tr>");
  std::size_t shown = std::min<std::size_t>(
      rows.size(), params.MaxResults > 0 ? static_cast<std::size_t>(params.MaxResults) : 0);
  for (std::size_t i = 0; i < shown; ++i) {
    const AddressHits& row = rows[i];
    document.ReportAdd("     <tr>");
    document.ReportAdd(Cell(HtmlEscape(row.address)));
    document.ReportAdd(PaddedCell(row.host));
    document.ReportAdd(PaddedCell(HtmlEscape(row.alt_ip)));
    document.ReportAdd(Cell(std::to_string(row.hits())));
    document.ReportAdd(PaddedCell(std::to_string(row.passed)));
    document.ReportAdd(PaddedCell(std::to_string(row.blocked)));
    document.ReportAdd("     </tr>");
  }
  document.ReportAdd("</table>");
  document.ReportAdd("<BR>");
  document.ReportAdd("<center><font face=verdana size=2>");
  document.ReportAdd("Total IP Addresses: " + std::to_string(rows.size()) + "<BR>");
  // An empty table has no most frequent address; the line is left out then.
  if (!rows.empty()) {
    document.ReportAdd("Most frequent IP Address is " + HtmlEscape(rows[0].address) + " with " +
                       std::to_string(rows[0].hits()) + " hits.<BR>");
  }
  document.ReportAdd("Total number of blocks: " + std::to_string(blocks) + "<BR>");
  document.ReportAdd("Total number of connections: " + std::to_string(connections) + "<BR>");
  document.ReportAdd("</font></center>");
  return Status::Ok();
}

}  // namespace vantry::analyser
