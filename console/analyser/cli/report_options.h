#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report_params.h"
#include "report_run.h"

namespace vantry::analyser::cli {

/// What the command line asks for.
struct CliCommand {
  enum class Action { kHelp, kImport, kAppend, kTotals, kReport };
  Action action = Action::kHelp;
  std::string db_file = "report.dpr";  ///< a file or a postgresql:// URI
  /// import/append: the name stored with the rows (empty: the host name);
  /// reports: only that gateway's rows (empty: every gateway).
  std::string gateway;
  std::vector<std::string> log_files;  ///< append
  std::string log_file;                ///< import: the log; report: import it first when set
  std::string out_file;                ///< empty: standard output
  bool first_250 = false;              ///< the answer to the large-result question
  bool preview = false;                ///< custom: print the builder's preview instead of running
  ReportKind kind = ReportKind::kAllHosts;
  ReportParams params;
  std::vector<std::string> clauses;  ///< custom: built from --where
};

/// Parses argv (without the program name). On a usage error returns nothing
/// and sets error to a one-line message.
std::optional<CliCommand> ParseCommandLine(const std::vector<std::string>& args,
                                           std::string* error);

/// The --help text.
std::string UsageText();

}  // namespace vantry::analyser::cli
