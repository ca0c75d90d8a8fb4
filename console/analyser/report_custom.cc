#include "report_custom.h"

#include "date_time_text.h"
#include "report_db.h"
#include "report_listing.h"
#include "report_messages.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

Status CheckDateTimeCriteria(std::string_view criteria) {
  if (criteria.find('#') != std::string_view::npos || !AccessLiteralToStored(criteria)) {
    return Status::Error(
        "Date and time criteria must be a date (mm/dd/yyyy) or a time (h:mm AM/PM).");
  }
  return Status::Ok();
}

}  // namespace

Status BuildClause(int field_index, int op_index, std::string_view criteria,
                   std::string_view and_criteria, std::string* clause) {
  if (field_index < 0 || field_index >= static_cast<int>(kCustomFields.size()) || op_index < 0 ||
      op_index >= static_cast<int>(kCustomOperators.size())) {
    return Status::Error("Choose a field and an operator.");
  }
  const CustomField& field = kCustomFields[field_index];
  const CustomOperator& op = kCustomOperators[op_index];
  bool between = op_index == kBetweenOperator;
  if (TrimSpacesAndTabs(criteria).empty()) return Status::Error(std::string(kNeedCriteriaMessage));
  if (between && TrimSpacesAndTabs(and_criteria).empty()) {
    return Status::Error(std::string(kNeedBetweenMessage));
  }
  std::string first(criteria);
  std::string second(and_criteria);
  if (field.quote == '#') {
    if (!op.wildcard.empty()) {
      return Status::Error("LIKE cannot compare dates or times; use EQUAL or BETWEEN.");
    }
    if (Status s = CheckDateTimeCriteria(first); !s.ok) return s;
    if (between) {
      if (Status s = CheckDateTimeCriteria(second); !s.ok) return s;
    }
  } else {
    first = DoubleQuotes(first);
    second = DoubleQuotes(second);
  }
  std::string q(1, field.quote);
  std::string text = "(" + std::string(field.column) + " " + std::string(op.sql) + " " + q +
                     std::string(op.wildcard) + first + std::string(op.wildcard) + q;
  if (between) text += " AND " + q + second + q;
  text += ")";
  *clause = std::move(text);
  return Status::Ok();
}

std::string CustomPreviewText(std::span<const std::string> clauses, std::string_view log_file) {
  if (clauses.empty()) return {};
  std::string_view shown = TrimSpacesAndTabs(log_file).empty() ? "UNDEFINED" : log_file;
  std::string text = "VANTRY: Create Report (\r\n";
  text += "    Display All From LogFile = (" + std::string(shown) + ")\r\n";
  text += "    Where\r\n";
  text += "        " + clauses[0] + "\r\n";
  for (size_t i = 1; i < clauses.size(); ++i) {
    text += "    AND\r\n";
    text += "        " + clauses[i] + "\r\n";
  }
  text += ") End Report\r\n";
  return text;
}

std::string CustomQuery(std::span<const std::string> clauses) {
  if (clauses.empty()) return {};
  std::string query = "select * from tbl_log Where " + clauses[0];
  for (size_t i = 1; i < clauses.size(); ++i) query += " AND " + clauses[i];
  return query;
}

Status GenReportCustom(const ReportParams& params, const ReportContext& context,
                       ReportDocument& document) {
  std::string_view query = TrimSpacesAndTabs(params.CustomSQL);
  if (query.empty()) return Status::Error(std::string(kNeedCustomMessage));
  if (query.size() < 7 || AsciiLower(query.substr(0, 6)) != "select" ||
      (query[6] != ' ' && query[6] != '\t' && query[6] != '\r' && query[6] != '\n')) {
    return Status::Error("A custom report query must begin with \"select\".");
  }
  ReportDb db;
  if (Status s = db.Open(context.db_file, ReportDb::Mode::kReadOnly, context.gateway); !s.ok) return s;
  std::int64_t count = 0;
  if (Status s = db.CountRows(query, &count); !s.ok) return s;
  document.ReportAdd("<center><font size=2 face=verdana>Custom Report");
  WriteHitsLine(document, count);
  return WriteListing(db, query, count, context, document);
}

}  // namespace vantry::analyser
