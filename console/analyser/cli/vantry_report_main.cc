// vantry-report: the log analyser's import and reports from the command line.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/report_options.h"
#include "log_append.h"
#include "log_import.h"
#include "log_totals.h"
#include "report_custom.h"
#include "report_document.h"
#include "report_run.h"

namespace {

using vantry::analyser::Status;
namespace an = vantry::analyser;

int Fail(const std::string& message) {
  std::cerr << "vantry-report: " << message << "\n";
  return 1;
}

int Import(const std::string& log_file, const std::string& db_file, const std::string& gateway,
           bool quiet) {
  an::ImportOptions options;
  options.gateway = gateway;
  an::ImportResult result = an::LoadLog(log_file, db_file, options);
  if (!result.status.ok) return Fail(result.status.message);
  std::string skipped = result.SkipSummary();
  if (!skipped.empty()) std::cerr << "vantry-report: " << skipped << "\n";
  if (quiet) return 0;
  an::LogTotals totals;
  if (Status s = an::ShowTotals(db_file, &totals); !s.ok) return Fail(s.message);
  std::cout << an::EntriesPanelText(result.stored) << "\n"
            << an::OksPanelText(totals) << "\n"
            << an::BlsPanelText(totals) << "\n"
            << an::IpsPanelText(totals) << "\n";
  return 0;
}

// Each file in its own transaction: a failure keeps what the others added.
int Append(const an::cli::CliCommand& command) {
  an::ImportOptions options;
  options.gateway = command.gateway;
  int status = 0;
  for (const std::string& log_file : command.log_files) {
    an::AppendResult result = an::AppendLog(log_file, command.db_file, options);
    if (!result.status.ok) {
      status = Fail(result.status.message);
      continue;
    }
    std::string skipped = result.SkipSummary();
    if (!skipped.empty()) std::cerr << "vantry-report: " << log_file << ": " << skipped << "\n";
    std::cout << log_file << ": " << an::EntriesPanelText(result.stored);
    if (std::string_view note = an::AppendStartText(result.start); !note.empty()) {
      std::cout << " (" << note << ")";
    }
    std::cout << "\n";
  }
  return status;
}

int Report(an::cli::CliCommand& command) {
  if (!command.log_file.empty()) {
    if (int rc = Import(command.log_file, command.db_file, command.gateway, true); rc != 0) {
      return rc;
    }
  }
  if (command.preview) {
    if (command.clauses.empty()) return Fail("--preview needs --where clauses");
    std::cout << an::CustomPreviewText(command.clauses, command.params.LogFile);
    return 0;
  }
  an::ReportContext context;
  context.db_file = command.db_file;
  context.gateway = command.gateway;
  bool first_250 = command.first_250;
  context.ask_limit = [first_250] { return first_250; };
  an::ReportDocument document;
  an::ReportOutcome outcome = an::RunReport(command.kind, command.params, context, document);
  if (outcome.result != an::ReportOutcome::Result::kDone) return Fail(outcome.message);
  if (!command.out_file.empty()) {
    if (Status s = an::SaveReport(document, command.out_file); !s.ok) return Fail(s.message);
    return 0;
  }
  std::string bytes = document.text() + "\r\n";
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
      std::fflush(stdout) != 0) {
    return Fail("cannot write the report to standard output");
  }
  return 0;
}

}  // namespace

int Run(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto command = an::cli::ParseCommandLine(args, &error);
  if (!command) {
    std::cerr << "vantry-report: " << error << "\n";
    return 2;
  }
  switch (command->action) {
    case an::cli::CliCommand::Action::kHelp:
      std::cout << an::cli::UsageText();
      return 0;
    case an::cli::CliCommand::Action::kImport:
      return Import(command->log_file, command->db_file, command->gateway, false);
    case an::cli::CliCommand::Action::kAppend:
      return Append(*command);
    case an::cli::CliCommand::Action::kTotals: {
      an::LogTotals totals;
      if (Status s = an::ShowTotals(command->db_file, &totals, command->gateway); !s.ok) {
        return Fail(s.message);
      }
      std::cout << an::OksPanelText(totals) << "\n"
                << an::BlsPanelText(totals) << "\n"
                << an::IpsPanelText(totals) << "\n";
      return 0;
    }
    case an::cli::CliCommand::Action::kReport:
      return Report(*command);
  }
  return 0;
}

// "chart": charts need Qt, so vantry-chart beside this program draws them.
int RunChart(char** argv) {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::string chart = (self.parent_path() / "vantry-chart").string();
  argv[1] = const_cast<char*>(chart.c_str());
  execv(chart.c_str(), argv + 1);
  return Fail("cannot run " + chart + ": " + std::strerror(errno));
}

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "chart") return RunChart(argv);
  // A failed import rolls back when its database closes; the user gets a
  // message instead of an abort.
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return Fail("there is not enough memory.");
  } catch (const std::exception& failure) {
    return Fail(failure.what());
  }
}
