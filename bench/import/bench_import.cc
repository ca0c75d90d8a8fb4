// bench_import [lines]: imports a generated activity log with LoadLog and with
// the sqlite3 shell's ".import" into the same table, and prints the ratio of
// the rates (target: at least 0.5). Each side runs twice; the faster run counts.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_log.h"
#include "log_import.h"
#include "log_totals.h"
#include "report_db.h"
#include "report_schema.h"

namespace {

using vantry::bench::SecondsSince;
namespace an = vantry::analyser;

// The shell refuses a two-character row separator, so it gets the same rows
// with LF line ends, each with the gateway column LoadLog fills.
void WriteLfCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (!in || !out) std::abort();
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c == '\n') std::fputs("|bench", out);
    if (c != '\r') std::fputc(c, out);
  }
  std::fclose(in);
  std::fclose(out);
}

// The shell's own bulk import: one transaction, one prepared statement, no
// checks; the fairest "as fast as SQLite goes" baseline. Like LoadLog it
// builds the report indexes after the rows are in.
double ShellImport(const std::filesystem::path& log, const std::filesystem::path& db) {
  std::filesystem::remove(db);
  {
    an::ReportDb create;  // the very same table definition
    if (!create.Open(db, an::ReportDb::Mode::kReadWrite).ok) std::abort();
    for (const char* index : {"ip1", "host", "date"}) {
      if (!create.Exec(std::string("DROP INDEX ") + an::kReportIndexPrefix + index).ok) {
        std::abort();
      }
    }
  }
  std::string indexes;
  for (const std::string& ddl : an::ReportIndexSql(an::DbKind::kSqlite)) indexes += ddl + ";";
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    std::string import = ".import '" + log.string() + "' tbl_log";
    execlp("sqlite3", "sqlite3", db.c_str(), ".mode list", ".separator \"|\" \"\\n\"",
           import.c_str(), indexes.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  double seconds = SecondsSince(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "sqlite3 .import failed\n");
    std::exit(1);
  }
  return seconds;
}

double OurImport(const std::filesystem::path& log, const std::filesystem::path& db,
                 std::int64_t* stored) {
  std::filesystem::remove(db);
  auto start = std::chrono::steady_clock::now();
  an::ImportResult result = an::LoadLog(log, db);
  double seconds = SecondsSince(start);
  if (!result.status.ok) {
    std::fprintf(stderr, "%s\n", result.status.message.c_str());
    std::exit(1);
  }
  *stored = result.stored;
  return seconds;
}

std::int64_t CountRows(const std::filesystem::path& db) {
  an::ReportDb reader;
  std::int64_t count = -1;
  if (!reader.Open(db, an::ReportDb::Mode::kReadOnly).ok ||
      !reader.CountRows("select * from tbl_log", &count).ok) {
    std::abort();
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t lines = argc > 1 ? std::atoll(argv[1]) : 1000000;
  vantry::bench::ScratchDir dir;
  auto log = dir.path() / "vantry.log";
  auto t0 = std::chrono::steady_clock::now();
  vantry::bench::WriteBenchLog(log, lines);
  std::printf("generated %lld lines (%.1f MB) in %.2f s\n", static_cast<long long>(lines),
              std::filesystem::file_size(log) / 1e6, SecondsSince(t0));

  auto lf_log = dir.path() / "vantry-lf.log";
  WriteLfCopy(log, lf_log);
  double shell_best = 1e9, ours_best = 1e9;
  std::int64_t stored = 0;
  for (int round = 0; round < 2; ++round) {
    shell_best = std::min(shell_best, ShellImport(lf_log, dir.path() / "shell.dpr"));
    ours_best = std::min(ours_best, OurImport(log, dir.path() / "report.dpr", &stored));
  }
  std::int64_t shell_rows = CountRows(dir.path() / "shell.dpr");
  if (shell_rows != lines || stored != lines) {
    std::fprintf(stderr, "row counts differ: shell %lld, LoadLog %lld, lines %lld\n",
                 static_cast<long long>(shell_rows), static_cast<long long>(stored),
                 static_cast<long long>(lines));
    return 1;
  }
  double shell_rate = lines / shell_best;
  double our_rate = lines / ours_best;
  std::printf("sqlite3 .import: %.2f s  (%.0f rows/s)\n", shell_best, shell_rate);
  std::printf("LoadLog:         %.2f s  (%.0f rows/s)\n", ours_best, our_rate);
  std::printf("ratio LoadLog/.import rate: %.2f (target >= 0.50) %s\n", our_rate / shell_rate,
              our_rate / shell_rate >= 0.5 ? "PASS" : "FAIL");
  return 0;
}
