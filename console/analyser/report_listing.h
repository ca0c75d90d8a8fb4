#pragma once

#include <cstdint>
#include <string_view>

#include "report_context.h"
#include "report_db.h"
#include "report_document.h"
#include "status.h"

namespace vantry::analyser {

/// "Total Number of hits:" line with the full count.
void WriteHitsLine(ReportDocument& document, std::int64_t count);
/// The line written instead of a table when a listing finds nothing.
void WriteNoMatchLine(ReportDocument& document);
/// The entry table's opening line and header row.
void WriteEntryTableHead(ReportDocument& document);
/// One entry row from the current row of a query over tbl_log (columns found
/// by name; dates and times in the report forms, values HTML-escaped).
class EntryRowWriter {
 public:
  explicit EntryRowWriter(const Statement& query);
  void Write(const Statement& query, ReportDocument& document) const;

 private:
  int columns_[7];
};

/// The listing procedure of the date and custom reports from the large-result
/// question on: asks above 250 records (on Yes re-runs the query as
/// "select top 250 ..."), then writes the entry table or the no-match line.
/// The query must begin with "select".
Status WriteListing(ReportDb& db, std::string_view access_query, std::int64_t count,
                    const ReportContext& context, ReportDocument& document);

}  // namespace vantry::analyser
