#include "report_options.h"

#include <limits>

#include "report_custom.h"
#include "report_date.h"
#include "sql_text.h"

namespace vantry::analyser::cli {
namespace {

std::optional<int> FindField(const std::string& name) {
  std::string wanted = AsciiLower(name);
  for (size_t i = 0; i < kCustomFields.size(); ++i) {
    if (AsciiLower(kCustomFields[i].entry) == wanted ||
        AsciiLower(kCustomFields[i].column) == wanted) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

std::optional<int> FindOperator(const std::string& name) {
  std::string wanted = AsciiLower(name);
  static const char* kShort[] = {"=", "<>", "like", "between", "not-like"};
  for (size_t i = 0; i < kCustomOperators.size(); ++i) {
    if (wanted == kShort[i] || wanted == AsciiLower(kCustomOperators[i].entry) ||
        wanted == AsciiLower(kCustomOperators[i].sql)) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}

// Stored with every row and shown in a combo box: one line of printable text.
bool ValidGatewayName(const std::string& name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

bool ParseLimit(const std::string& text, std::int64_t* limit) {
  if (text.empty() || text.size() > 12) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  *limit = std::stoll(text);
  return *limit > 0;
}

}  // namespace

std::string UsageText() {
  return R"(Usage: vantry-report [--db FILE|URI] [--gateway NAME] COMMAND [OPTIONS]

Loads Vantry activity logs into a report database and writes the console's
HTML usage reports, for cron jobs and scripts.

Commands:
  import LOGFILE        Empty the report database and load LOGFILE into it.
                        Prints the entries stored, the totals, and how many
                        lines were not imported and why.
  append LOGFILE...     Add the lines of each LOGFILE that earlier appends
                        have not stored (it remembers, per gateway and file,
                        how far the file was read). A rotated, replaced or
                        truncated file is read from its start (a log rotated
                        to LOGFILE.1 has its unread rest read from there
                        first); a half-written last line waits for the next
                        run. For cron or a systemd timer on every gateway of
                        a fleet.
  totals                Print the totals of the loaded log.
  hits                  All Hosts/IP Addresses: every address by hits.
      --limit N             show the first N addresses (default: all)
  ip                    Specific Host/IP Address: every entry of one address
                        or host name.
      --ip ADDRESS          select by connecting address, or
      --host NAME           select by host name
      --wild-prefix         match any text before the value
      --wild-suffix         match any text after the value
      --newest-first        reverse chronological order (default: oldest first)
      --limit N             list at most N entries (default: 100)
  date                  Date/Time Range: the entries of a range of dates, or
                        of a range of times on one date.
      --start DATE          first date, mm/dd/yyyy (required)
      --end DATE            last date, mm/dd/yyyy (default: the start date)
      --time-start TIME     with --time-end: a time range on the start date,
      --time-end TIME       h:mm AM/PM (e.g. "9:00 AM")
  custom                Create Custom Report: entries matching every clause.
      --where FIELD OP VALUE [VALUE2]
                            one clause; repeat for more (joined with AND).
                            FIELD: ConnectDate, ConnectTime, IP1, Host, IP2,
                            StatusCode, BLType, BLInfo (or the dialog's names,
                            e.g. "Connection IP").
                            OP: =, <>, like, not-like, between (between takes
                            VALUE and VALUE2). Dates mm/dd/yyyy, times h:mm AM/PM.
      --sql QUERY           a complete query instead ("select * from tbl_log
                            Where ..."), in the report dialect; runs read-only
      --preview             print the builder's preview text, do not run

Options:
  --db FILE|URI         report database (default: ./report.dpr): a SQLite file,
                        or a PostgreSQL database as a libpq URI
                        (postgresql://user@host:port/dbname). Its tables are
                        created, or brought up to date, on first use.
  --gateway NAME        import, append: the gateway the rows come from
                        (default: this machine's host name); every report
                        and totals: only that gateway's rows (default: all)
  --log FILE            with a report command: import FILE first
  --out FILE            write the report to FILE (default: standard output)
  --first-250           answer Yes to "over 250 records": list only the first
                        250 records of a date or custom report (default: all)
  --help                show this text

Exit status: 0 success, 1 failure (message on standard error), 2 usage error.

Examples:
  vantry-report --db /var/lib/vantry/report.dpr import /var/log/vantry/vantry.log
  vantry-report --db report.dpr hits --limit 20 --out top20.htm
  vantry-report date --start 05/01/2003 --end 05/07/2003 --first-250 > week.htm
  vantry-report custom --where StatusCode = BL --where BLInfo like spamhaus
  vantry-report --db postgresql://vantry@db.example/reports append /var/log/vantry/vantry.log
  vantry-report --db postgresql://vantry@db.example/reports --gateway mx2 hits --limit 20
)";
}

std::optional<CliCommand> ParseCommandLine(const std::vector<std::string>& args,
                                           std::string* error) {
  CliCommand command;
  bool have_command = false;
  bool have_limit = false;
  bool have_end = false;
  std::string time_start, time_end;
  auto fail = [&](std::string message) -> std::optional<CliCommand> {
    *error = std::move(message);
    return std::nullopt;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = args[++i];
      return true;
    };
    if (arg == "--help" || arg == "-h") {
      command.action = CliCommand::Action::kHelp;
      return command;
    } else if (arg == "--db") {
      if (!value(&command.db_file)) return fail("--db needs a file name");
    } else if (arg == "--gateway") {
      if (!value(&command.gateway) || !ValidGatewayName(command.gateway)) {
        return fail("--gateway needs a name (printable text, at most 255 bytes)");
      }
    } else if (arg == "--log") {
      if (!value(&command.log_file)) return fail("--log needs a file name");
    } else if (arg == "--out") {
      if (!value(&command.out_file)) return fail("--out needs a file name");
    } else if (arg == "--first-250") {
      command.first_250 = true;
    } else if (arg == "--preview") {
      command.preview = true;
    } else if (arg == "--limit") {
      std::string text;
      if (!value(&text) || !ParseLimit(text, &command.params.MaxResults)) {
        return fail("--limit needs a whole number above 0");
      }
      have_limit = true;
    } else if (arg == "--ip") {
      if (!value(&command.params.ReportIP)) return fail("--ip needs an address");
      command.params.ReportIP = std::string(TrimSpacesAndTabs(command.params.ReportIP));
      command.params.SearchHost = false;
    } else if (arg == "--host") {
      if (!value(&command.params.ReportHost)) return fail("--host needs a host name");
      command.params.ReportHost = std::string(TrimSpacesAndTabs(command.params.ReportHost));
      command.params.SearchHost = true;
    } else if (arg == "--wild-prefix") {
      command.params.WildPrefix = true;
    } else if (arg == "--wild-suffix") {
      command.params.WildSuffix = true;
    } else if (arg == "--newest-first") {
      command.params.DateOrder = " DESC";
    } else if (arg == "--start") {
      if (!value(&command.params.DateStart)) return fail("--start needs a date");
    } else if (arg == "--end") {
      if (!value(&command.params.DateEnd)) return fail("--end needs a date");
      have_end = true;
    } else if (arg == "--time-start") {
      if (!value(&time_start)) return fail("--time-start needs a time");
    } else if (arg == "--time-end") {
      if (!value(&time_end)) return fail("--time-end needs a time");
    } else if (arg == "--sql") {
      if (!value(&command.params.CustomSQL)) return fail("--sql needs a query");
    } else if (arg == "--where") {
      if (i + 3 >= args.size()) return fail("--where needs FIELD OP VALUE");
      auto field = FindField(args[i + 1]);
      if (!field) return fail("--where: unknown field \"" + args[i + 1] + "\"");
      auto op = FindOperator(args[i + 2]);
      if (!op) return fail("--where: unknown operator \"" + args[i + 2] + "\"");
      std::string second;
      if (*op == kBetweenOperator) {
        if (i + 4 >= args.size()) return fail("--where ... between needs two values");
        second = args[i + 4];
      }
      std::string clause;
      Status s = BuildClause(*field, *op, args[i + 3], second, &clause);
      if (!s.ok) return fail("--where: " + s.message);
      command.clauses.push_back(clause);
      i += *op == kBetweenOperator ? 4 : 3;
    } else if (have_command && command.action == CliCommand::Action::kAppend &&
               !arg.starts_with("--")) {
      command.log_files.push_back(arg);
    } else if (!have_command &&
               (arg == "import" || arg == "append" || arg == "totals" || arg == "hits" ||
                arg == "ip" || arg == "date" || arg == "custom")) {
      have_command = true;
      if (arg == "append") {
        command.action = CliCommand::Action::kAppend;
      } else if (arg == "import") {
        command.action = CliCommand::Action::kImport;
        if (!value(&command.log_file)) return fail("import needs a log file");
      } else if (arg == "totals") {
        command.action = CliCommand::Action::kTotals;
      } else {
        command.action = CliCommand::Action::kReport;
        command.kind = arg == "hits"   ? ReportKind::kAllHosts
                       : arg == "ip"   ? ReportKind::kSpecificHost
                       : arg == "date" ? ReportKind::kDateRange
                                       : ReportKind::kCustom;
      }
    } else {
      return fail("unknown argument \"" + arg + "\" (see --help)");
    }
  }
  if (!have_command) return fail("no command given (see --help)");
  if (command.action == CliCommand::Action::kAppend && command.log_files.empty()) {
    return fail("append needs at least one log file");
  }
  if (command.action != CliCommand::Action::kReport) return command;

  ReportParams& p = command.params;
  p.LogFile = command.log_file;
  switch (command.kind) {
    case ReportKind::kAllHosts:
      if (!have_limit) p.MaxResults = std::numeric_limits<std::int64_t>::max();  // every address
      break;
    case ReportKind::kSpecificHost:
      if (p.ReportIP.empty() && p.ReportHost.empty()) return fail("ip needs --ip or --host");
      if (!have_limit) p.MaxResults = 100;
      break;
    case ReportKind::kDateRange: {
      if (p.DateStart.empty()) return fail("date needs --start");
      if (time_start.empty() != time_end.empty()) {
        return fail("--time-start and --time-end go together");
      }
      DateDialogFields fields;
      fields.txtDateStart = p.DateStart;
      fields.txtDateEnd = have_end ? p.DateEnd : p.DateStart;
      if (!time_start.empty()) {
        fields.txtTimeStart = time_start;
        fields.txtTimeEnd = time_end;
        ApplyTimeCheck(fields, true);
      }
      DateDialogCheck check = CheckDateDialog(fields);
      if (!check.ok) return fail(check.message);
      StoreDateDialog(check.fields, p);
      break;
    }
    case ReportKind::kCustom:
      if (!command.clauses.empty() && !p.CustomSQL.empty()) {
        return fail("use either --where or --sql");
      }
      if (!command.clauses.empty()) p.CustomSQL = CustomQuery(command.clauses);
      if (p.CustomSQL.empty()) return fail("custom needs --where or --sql");
      break;
  }
  return command;
}

}  // namespace vantry::analyser::cli
