#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "report_context.h"
#include "report_document.h"
#include "report_params.h"
#include "status.h"

namespace vantry::analyser {

/// A field of the custom builder: its list entry, its column and the quote
/// put around its criteria.
struct CustomField {
  std::string_view entry;
  std::string_view column;
  char quote;
};
/// cbxField's entries in order.
inline constexpr std::array<CustomField, 8> kCustomFields = {{
    {"Connection Date", "ConnectDate", '#'},
    {"Connection Time", "ConnectTime", '#'},
    {"Connection IP", "IP1", '\''},
    {"Connection Host Name", "Host", '\''},
    {"Alternative IP", "IP2", '\''},
    {"Connection Status", "StatusCode", '\''},
    {"DNSBL Database", "BLType", '\''},
    {"Block Information", "BLInfo", '\''},
}};

/// An operator of the custom builder: its list entry, the SQL operator and the
/// wildcard put inside the quotes.
struct CustomOperator {
  std::string_view entry;
  std::string_view sql;
  std::string_view wildcard;
};
/// cbxOp's entries in order.
inline constexpr std::array<CustomOperator, 5> kCustomOperators = {{
    {"Is EQUAL To", "=", ""},
    {"Is NOT Equal To", "<>", ""},
    {"Is LIKE", "LIKE", "%"},
    {"Is BETWEEN", "BETWEEN", ""},
    {"Is NOT LIKE", "NOT LIKE", "%"},
}};
/// Index of "Is BETWEEN", which enables the second criteria box.
inline constexpr int kBetweenOperator = 3;

/// Title and texts of the custom dialog's messages.
inline constexpr std::string_view kCustomTitle = "Custom Report";
inline constexpr std::string_view kNeedCriteriaMessage = "You must have criteria to compare to.";
inline constexpr std::string_view kNeedBetweenMessage =
    "You must have criteria to compare to with the BETWEEN operator.";
/// Shown on dialog load when a custom query is already defined (OK button).
inline constexpr std::string_view kAlreadyGeneratedMessage =
    "A custom report has already been generated and is in the report queue.  "
    "If you create a new report, the previous one will be overwritten.  "
    "If you click the Cancel button, the previous one will be cleared.  "
    "If you wish to exit this window without altering the previous report, "
    "click the X on the top right hand corner of this window.";
/// "Create New" question (Yes/No, question icon) and its title.
inline constexpr std::string_view kClearQuestion =
    "This will clear all clause criteria you may have specified.  Are you sure you wish to "
    "continue?";
inline constexpr std::string_view kClearTitle = "Clear Custom Report";

/// "Add Clause": builds "(column op 'criteria')" or with BETWEEN
/// "(column BETWEEN q..q AND q..q)". Quotes in text criteria are doubled; date
/// and time criteria must read as dates (mm/dd/yyyy) or times (h:mm AM/PM), so
/// no criteria can end its literal early. On refusal the message is for a box
/// with the information icon and title kCustomTitle.
Status BuildClause(int field, int op, std::string_view criteria, std::string_view and_criteria,
                   std::string* clause);

/// "Preview": the text for the preview box (lines end CR LF); empty when there
/// are no clauses.
std::string CustomPreviewText(std::span<const std::string> clauses, std::string_view log_file);

/// "&Ok": "select * from tbl_log Where (A) AND (B) ..."; empty when there are no clauses.
std::string CustomQuery(std::span<const std::string> clauses);

/// Writes the custom report for params.CustomSQL, run on a read-only
/// connection; an undefined query is refused with kNeedCustomMessage, a query
/// the database rejects with the database's message.
Status GenReportCustom(const ReportParams& params, const ReportContext& context,
                       ReportDocument& document);

}  // namespace vantry::analyser
