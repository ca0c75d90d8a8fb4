// bench_reports [lines]: builds a report database from a generated log of
// `lines` lines (default 1,000,000, about 50,000 distinct addresses), times
// each report kind (target: each under 2 s), and times the hits report on a
// tenth of the rows too, to show how it grows.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_log.h"
#include "log_import.h"
#include "log_totals.h"
#include "report_custom.h"
#include "report_run.h"

namespace {

using vantry::bench::SecondsSince;
namespace an = vantry::analyser;

std::filesystem::path BuildDb(const vantry::bench::ScratchDir& dir, std::int64_t lines,
                              const std::string& name) {
  auto log = dir.path() / (name + ".log");
  auto db = dir.path() / (name + ".dpr");
  vantry::bench::WriteBenchLog(log, lines);
  an::ImportResult result = an::LoadLog(log, db);
  if (!result.status.ok || result.stored != lines) {
    std::fprintf(stderr, "import failed: %s\n", result.status.message.c_str());
    std::exit(1);
  }
  return db;
}

// Best of three runs, to keep one scheduler hiccup from deciding.
double TimeReport(const char* label, an::ReportKind kind, an::ReportParams params,
                  const std::filesystem::path& db, bool first_250, bool print = true) {
  double best = 1e9;
  std::size_t size = 0;
  for (int i = 0; i < 3; ++i) {
    an::ReportParams copy = params;
    an::ReportDocument document;
    auto start = std::chrono::steady_clock::now();
    an::ReportOutcome outcome =
        an::RunReport(kind, copy, {db, [first_250] { return first_250; }}, document);
    best = std::min(best, SecondsSince(start));
    if (outcome.result != an::ReportOutcome::Result::kDone) {
      std::fprintf(stderr, "%s failed: %s\n", label, outcome.message.c_str());
      std::exit(1);
    }
    size = document.text().size();
  }
  if (print) {
    std::printf("%-44s %6.3f s  (%zu KB of HTML) %s\n", label, best, size / 1024,
                best < 2.0 ? "PASS" : "FAIL");
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t lines = argc > 1 ? std::atoll(argv[1]) : 1000000;
  vantry::bench::ScratchDir dir;
  auto big = BuildDb(dir, lines, "big");
  an::LogTotals totals;
  an::ShowTotals(big, &totals);
  std::printf("%lld rows, %lld distinct addresses\n", static_cast<long long>(lines),
              static_cast<long long>(totals.ips));

  an::ReportParams hits;
  hits.MaxResults = totals.ips;
  double hits_big = TimeReport("All Hosts/IP Addresses (every address)", an::ReportKind::kAllHosts,
                               hits, big, false);
  hits.MaxResults = 100;
  TimeReport("All Hosts/IP Addresses (top 100)", an::ReportKind::kAllHosts, hits, big, false);

  an::ReportParams ip;
  ip.ReportIP = "10.0.0.1";
  ip.MaxResults = 100;
  TimeReport("Specific Host/IP Address (10.0.0.1, 100)", an::ReportKind::kSpecificHost, ip, big,
             false);
  ip.SearchHost = true;
  ip.ReportHost = "host0-";
  ip.WildSuffix = true;
  ip.DateOrder = " DESC";
  TimeReport("Specific Host (like 'host0-%', newest, 100)", an::ReportKind::kSpecificHost, ip, big,
             false);

  an::ReportParams date;
  date.DateStart = "05/01/2003";
  date.DateEnd = "05/07/2003";
  TimeReport("Date/Time Range (one week, Yes: 250)", an::ReportKind::kDateRange, date, big, true);
  date.DateStart = "01/01/2003";
  date.DateEnd = "12/31/2003";
  TimeReport("Date/Time Range (whole year, Yes: 250)", an::ReportKind::kDateRange, date, big, true);
  date.DateStart = date.DateEnd = "06/14/2003";
  date.TimeBased = true;
  date.TimeStart = "9:00 AM";
  date.TimeEnd = "9:30 AM";
  TimeReport("Date/Time Range (half an hour, No: all)", an::ReportKind::kDateRange, date, big,
             false);

  an::ReportParams custom;
  std::string a, b;
  an::BuildClause(5, 0, "BL", "", &a);
  an::BuildClause(3, 2, "host1", "", &b);
  custom.CustomSQL = an::CustomQuery(std::vector<std::string>{a, b});
  TimeReport("Custom (BL and host like, Yes: 250)", an::ReportKind::kCustom, custom, big, true);

  auto small = BuildDb(dir, lines / 10, "small");
  an::LogTotals small_totals;
  an::ShowTotals(small, &small_totals);
  hits.MaxResults = small_totals.ips;
  double hits_small = TimeReport("hits", an::ReportKind::kAllHosts, hits, small, false, false);
  std::printf("hits report growth: %lld rows %.3f s, %lld rows %.3f s, ratio %.1f for 10x rows\n",
              static_cast<long long>(lines / 10), hits_small, static_cast<long long>(lines),
              hits_big, hits_big / hits_small);
  return 0;
}
