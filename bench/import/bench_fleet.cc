// bench_fleet [append_lines] [fleet_rows] [big_log_mb]: the fleet's report
// database on a private PostgreSQL cluster (started and removed here) and on
// SQLite, all in one run:
//  1. append of append_lines (default 1,000,000) new lines into PostgreSQL
//     against COPY of the same rows into the same table (target: rate ratio
//     at least 0.5);
//  2. append of a tenth more lines to a grown log against importing it whole;
//  3. an append that finds nothing new on a big_log_mb log (default 1024;
//     target: under 0.1 s on either backend, the file is not read again);
//  4. the hits, one-address and one-week date reports on fleet_rows rows
//     (default 10,000,000) from four gateways (target: each under 3 s on
//     PostgreSQL), with SQLite's times beside them.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_log.h"
#include "log_append.h"
#include "log_import.h"
#include "pg_backend.h"
#include "postgres_fixture.h"
#include "report_db.h"
#include "report_run.h"

namespace {

using vantry::bench::SecondsSince;
namespace an = vantry::analyser;

void Check(const an::Status& s, const char* what) {
  if (!s.ok) {
    std::fprintf(stderr, "%s: %s\n", what, s.message.c_str());
    std::exit(1);
  }
}

double TimedAppend(const std::filesystem::path& log, const std::filesystem::path& db,
                   const std::string& gateway = "bench", std::int64_t* stored = nullptr) {
  an::ImportOptions options;
  options.gateway = gateway;
  auto start = std::chrono::steady_clock::now();
  an::AppendResult result = an::AppendLog(log, db, options);
  double seconds = SecondsSince(start);
  Check(result.status, "append");
  if (stored) *stored = result.stored;
  return seconds;
}

// The log's entries as COPY rows, made before the clock starts: the baseline
// is the server taking rows, with no reading or checking of a log.
std::string CopyRows(const std::filesystem::path& log) {
  std::FILE* in = std::fopen(log.c_str(), "rb");
  std::string rows;
  char line[512];
  while (std::fgets(line, sizeof line, in)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    std::string row;
    int field = 0;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i < text.size() && text[i] != '|') continue;
      std::string value = text.substr(start, i - start);
      if (field == 9) value += ":00";
      if (field > 0) row += '\t';
      an::AppendCopyField(row, value);
      start = i + 1;
      ++field;
    }
    rows += row + "\tbench\n";
  }
  std::fclose(in);
  return rows;
}

double TimedCopy(const std::string& uri, const std::string& rows) {
  an::ReportDb db;
  Check(db.Open(uri, an::ReportDb::Mode::kReadWrite), "open");
  auto start = std::chrono::steady_clock::now();
  Check(db.Exec("BEGIN"), "begin");
  Check(db.postgres()->CopyBegin(
            "COPY tbl_log (MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, BLInfo, "
            "connectdate, ConnectTime, gateway) FROM STDIN"),
        "copy");
  for (size_t at = 0; at < rows.size(); at += 256 * 1024) {
    Check(db.postgres()->CopyData(std::string_view(rows).substr(at, 256 * 1024)), "copy data");
  }
  Check(db.postgres()->CopyEnd(), "copy end");
  Check(db.Exec("COMMIT"), "commit");
  return SecondsSince(start);
}

double TimeReport(an::ReportKind kind, an::ReportParams params, const std::filesystem::path& db) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    an::ReportParams copy = params;
    an::ReportDocument document;
    auto start = std::chrono::steady_clock::now();
    an::ReportOutcome outcome = an::RunReport(kind, copy, {db, [] { return true; }, {}}, document);
    best = std::min(best, SecondsSince(start));
    if (outcome.result != an::ReportOutcome::Result::kDone) {
      std::fprintf(stderr, "report failed: %s\n", outcome.message.c_str());
      std::exit(1);
    }
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t append_lines = argc > 1 ? std::atoll(argv[1]) : 1000000;
  std::int64_t fleet_rows = argc > 2 ? std::atoll(argv[2]) : 10000000;
  std::int64_t big_mb = argc > 3 ? std::atoll(argv[3]) : 1024;
  vantry::testing::PostgresServer& server = vantry::testing::PostgresServer::Shared();
  if (!server.failure().empty()) {
    std::fprintf(stderr, "%s\n", server.failure().c_str());
    return 1;
  }
  vantry::bench::ScratchDir dir;
  bool pass = true;

  // 1. Append against COPY.
  auto log = dir.path() / "append.log";
  vantry::bench::WriteBenchLog(log, append_lines);
  std::string rows = CopyRows(log);
  double copy_best = 1e9, append_best = 1e9;
  for (int round = 0; round < 2; ++round) {
    copy_best = std::min(copy_best, TimedCopy(server.CreateDatabase("bench_copy"), rows));
    std::int64_t stored = 0;
    append_best = std::min(
        append_best, TimedAppend(log, server.CreateDatabase("bench_append"), "bench", &stored));
    if (stored != append_lines) {
      std::fprintf(stderr, "append stored %lld of %lld\n", static_cast<long long>(stored),
                   static_cast<long long>(append_lines));
      return 1;
    }
  }
  double ratio = copy_best / append_best;
  pass = pass && ratio >= 0.5;
  std::printf("PostgreSQL COPY of %lld rows: %.2f s (%.0f rows/s)\n",
              static_cast<long long>(append_lines), copy_best, append_lines / copy_best);
  std::printf("PostgreSQL append:            %.2f s (%.0f rows/s)\n", append_best,
              append_lines / append_best);
  std::printf("ratio append/COPY rate: %.2f (target >= 0.50) %s\n", ratio,
              ratio >= 0.5 ? "PASS" : "FAIL");

  // 2. A grown log: append of the new tenth against a whole import.
  for (const std::filesystem::path& db :
       {dir.path() / "grow.dpr", std::filesystem::path(server.CreateDatabase("bench_grow"))}) {
    auto grown = dir.path() / "grow.log";
    vantry::bench::WriteBenchLog(grown, append_lines);
    TimedAppend(grown, db);
    auto more = dir.path() / "more.log";
    vantry::bench::WriteBenchLog(more, append_lines / 10);
    {
      std::FILE* out = std::fopen(grown.c_str(), "ab");
      std::FILE* in = std::fopen(more.c_str(), "rb");
      char buffer[1 << 16];
      for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        std::fwrite(buffer, 1, got, out);
      }
      std::fclose(in);
      std::fclose(out);
    }
    double append = TimedAppend(grown, db);
    auto start = std::chrono::steady_clock::now();
    Check(an::LoadLog(grown, db).status, "import");
    double import = SecondsSince(start);
    std::printf("%s: append of %lld new lines %.2f s, import of all %lld lines %.2f s\n",
                db.string().starts_with("postgres") ? "PostgreSQL" : "SQLite    ",
                static_cast<long long>(append_lines / 10), append,
                static_cast<long long>(append_lines * 11 / 10), import);
  }

  // 3. Nothing new on a big log.
  auto big = dir.path() / "big.log";
  vantry::bench::WriteBenchLog(big, big_mb * 1000000 / 70);
  std::printf("big log: %.0f MB\n", std::filesystem::file_size(big) / 1e6);
  for (const std::filesystem::path& db :
       {dir.path() / "big.dpr", std::filesystem::path(server.CreateDatabase("bench_big"))}) {
    TimedAppend(big, db);
    double best = 1e9;
    for (int i = 0; i < 5; ++i) best = std::min(best, TimedAppend(big, db));
    pass = pass && best < 0.1;
    std::printf("%s: append finding nothing new: %.4f s (target < 0.1 s) %s\n",
                db.string().starts_with("postgres") ? "PostgreSQL" : "SQLite    ", best,
                best < 0.1 ? "PASS" : "FAIL");
  }
  std::filesystem::remove(big);

  // 4. Reports on a fleet's rows.
  auto part = dir.path() / "fleet.log";
  vantry::bench::WriteBenchLog(part, fleet_rows / 4);
  std::filesystem::path lite = dir.path() / "fleet.dpr";
  std::filesystem::path pg = server.CreateDatabase("bench_fleet");
  for (const auto& db : {lite, pg}) {
    for (const char* gateway : {"mx1", "mx2", "mx3", "mx4"}) TimedAppend(part, db, gateway);
  }
  an::ReportParams hits, address, week;
  hits.MaxResults = 20;
  address.ReportIP = "10.0.0.1";
  address.MaxResults = 100;
  week.DateStart = "05/01/2003";
  week.DateEnd = "05/07/2003";
  std::printf("reports on %lld rows from 4 gateways (best of 3; date report: first 250):\n",
              static_cast<long long>(fleet_rows / 4 * 4));
  for (auto [label, kind, params] :
       {std::tuple{"hits (top 20)", an::ReportKind::kAllHosts, hits},
        std::tuple{"one address", an::ReportKind::kSpecificHost, address},
        std::tuple{"one week", an::ReportKind::kDateRange, week}}) {
    double on_pg = TimeReport(kind, params, pg);
    double on_lite = TimeReport(kind, params, lite);
    pass = pass && on_pg < 3;
    std::printf("  %-14s PostgreSQL %.2f s (target < 3 s) %s   SQLite %.2f s\n", label, on_pg,
                on_pg < 3 ? "PASS" : "FAIL", on_lite);
  }
  return pass ? 0 : 1;
}
