#pragma once

#include <string>

#include "report_context.h"
#include "report_document.h"
#include "report_params.h"
#include "status.h"

namespace vantry::analyser {

/// The four text boxes and the check box of the date dialog.
struct DateDialogFields {
  std::string txtDateStart;
  std::string txtDateEnd;
  std::string txtTimeStart = "12:00 AM";
  std::string txtTimeEnd = "12:00 PM";
  bool chkTime = false;
};

/// Which box a date dialog message puts the focus on.
enum class DateDialogField { kNone, kDateStart, kDateEnd, kTimeStart, kTimeEnd };

/// The outcome of the dialog's "&Ok".
struct DateDialogCheck {
  bool ok = false;
  DateDialogField focus = DateDialogField::kNone;
  std::string message;      ///< exclamation icon, title kReportTitle
  DateDialogFields fields;  ///< the boxes as rewritten so far (mm/dd/yyyy, h:mm AM/PM)
};

/// The boxes on dialog load: each from its parameter when that is not blank.
DateDialogFields LoadDateDialog(const ReportParams& params);
/// Ticking the box copies the start date into the (then disabled) end date.
void ApplyTimeCheck(DateDialogFields& fields, bool ticked);
/// Validates and rewrites the boxes in order, stopping at the first failure.
DateDialogCheck CheckDateDialog(const DateDialogFields& fields);
/// Stores checked boxes into the parameters.
void StoreDateDialog(const DateDialogFields& fields, ReportParams& params);

/// The Access-dialect query of the date report.
std::string DateReportQuery(const ReportParams& params);
/// Writes the date/time report (heading, hits line, listing) to the document.
Status GenReportDate(const ReportParams& params, const ReportContext& context,
                     ReportDocument& document);

}  // namespace vantry::analyser
