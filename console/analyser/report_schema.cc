#include "report_schema.h"

#include <unistd.h>

#include <array>

#include "pg_backend.h"
#include "sql_text.h"
#include "sqlite_backend.h"

namespace vantry::analyser {
namespace {

// citext compares without case like SQLite's NOCASE; COLLATE "C" keeps the
// order of bytes whatever the server's locale, so both backends sort alike.
constexpr std::string_view kPgSchemaSql =
    "CREATE EXTENSION IF NOT EXISTS citext;"
    "CREATE TABLE IF NOT EXISTS tbl_log ("
    "rowid bigserial PRIMARY KEY, MaxSocket bigint, Socket bigint, "
    "StatusCode citext COLLATE \"C\", IP1 citext COLLATE \"C\", IP2 citext COLLATE \"C\", "
    "Host citext COLLATE \"C\", BLType citext COLLATE \"C\", BLInfo citext COLLATE \"C\", "
    "connectdate text COLLATE \"C\", ConnectTime text COLLATE \"C\", "
    "gateway citext COLLATE \"C\" NOT NULL DEFAULT '');"
    "CREATE TABLE IF NOT EXISTS tbl_import ("
    "gateway text NOT NULL, path text NOT NULL, device bigint NOT NULL, inode bigint NOT NULL, "
    "head_bytes bigint NOT NULL, head_hash text NOT NULL, done_bytes bigint NOT NULL, "
    "PRIMARY KEY (gateway, path));";

constexpr std::string_view kSqliteImportTableSql =
    "CREATE TABLE IF NOT EXISTS tbl_import ("
    "gateway TEXT NOT NULL, path TEXT NOT NULL, device INTEGER NOT NULL, inode INTEGER NOT NULL, "
    "head_bytes INTEGER NOT NULL, head_hash TEXT NOT NULL, done_bytes INTEGER NOT NULL, "
    "PRIMARY KEY (gateway, path))";

// Any constant both appenders and schema builders agree on.
constexpr std::string_view kPgSchemaLock = "SELECT pg_advisory_xact_lock(58133001)";

Status HasColumn(ReportDb& db, std::string_view column, bool* present) {
  Statement info;
  if (Status s = db.PrepareNative("PRAGMA table_info(tbl_log)", &info); !s.ok) return s;
  *present = false;
  while (info.Step()) {
    if (AsciiLower(info.Text(info.ColumnIndex("name"))) == column) *present = true;
  }
  if (!info.error().empty()) return Status::Error(info.error());
  return Status::Ok();
}

Status EnsureSqliteSchema(ReportDb& db) {
  if (Status s = db.Exec(kCreateLogTableSql); !s.ok) return s;
  bool has_gateway = false;
  if (Status s = HasColumn(db, "gateway", &has_gateway); !s.ok) return s;
  if (!has_gateway) {
    // Adding a column with a default rewrites nothing: the old rows read as
    // this machine's, which is where a report.dpr's log came from.
    if (Status s = db.Exec("ALTER TABLE tbl_log ADD COLUMN gateway TEXT COLLATE NOCASE "
                           "DEFAULT '" +
                           DoubleQuotes(LocalGatewayName()) + "'");
        !s.ok) {
      return s;
    }
  }
  if (Status s = db.Exec(kSqliteImportTableSql); !s.ok) return s;
  for (const std::string& ddl : ReportIndexSql(DbKind::kSqlite)) {
    if (Status s = db.Exec(ddl); !s.ok) return s;
  }
  return Status::Ok();
}

Status EnsurePgSchema(ReportDb& db) {
  // CREATE INDEX waits for every running append even when the index is
  // there: a schema already complete is left alone.
  Statement probe;
  if (Status s = db.PrepareNative(
          "SELECT to_regclass('tbl_import') IS NOT NULL AND (SELECT count(*) FROM pg_indexes "
          "WHERE schemaname = current_schema() AND indexname IN ('ix_log_ip1', 'ix_log_host', "
          "'ix_log_date')) = 3",
          &probe);
      !s.ok) {
    return s;
  }
  bool complete = probe.Step() && probe.Text(0) == "t";
  probe = Statement();
  if (complete) return Status::Ok();
  if (Status s = db.Exec("BEGIN"); !s.ok) return s;
  // Two first appenders at once would both try to create the same types.
  Status s = db.Exec(kPgSchemaLock);
  if (s.ok) s = db.Exec(kPgSchemaSql);
  for (const std::string& ddl : ReportIndexSql(DbKind::kPostgres)) {
    if (s.ok) s = db.Exec(ddl);
  }
  if (s.ok) s = db.Exec("COMMIT");
  if (!s.ok) db.Exec("ROLLBACK");
  return s;
}

}  // namespace

std::vector<std::string> ReportIndexSql(DbKind) {
  std::string prefix = std::string("CREATE INDEX IF NOT EXISTS ") + kReportIndexPrefix;
  return {prefix + "ip1 ON tbl_log (IP1)", prefix + "host ON tbl_log (Host)",
          prefix + "date ON tbl_log (connectdate)"};
}

Status EnsureSchema(ReportDb& db) {
  return db.kind() == DbKind::kPostgres ? EnsurePgSchema(db) : EnsureSqliteSchema(db);
}

Status RestrictToGateway(ReportDb& db, std::string_view gateway) {
  std::string where = " WHERE gateway = '" + DoubleQuotes(gateway) + "'";
  if (db.kind() == DbKind::kSqlite) {
    // A view has no rowid of its own; the table's goes along under its name.
    return db.Exec("CREATE TEMP VIEW tbl_log AS SELECT rowid AS rowid, * FROM main.tbl_log" +
                   where);
  }
  Statement schema;
  if (Status s =
          db.PrepareNative("SELECT quote_ident(n.nspname) FROM pg_class c JOIN pg_namespace n ON "
                           "n.oid = c.relnamespace WHERE c.oid = 'tbl_log'::regclass",
                           &schema);
      !s.ok) {
    return s;
  }
  if (!schema.Step())
    return Status::Error(schema.error().empty() ? "tbl_log is missing." : schema.error());
  std::string table = std::string(schema.Text(0)) + ".tbl_log";
  schema = Statement();
  // pg_temp comes first in the search path, so "tbl_log" now means the view.
  return db.Exec("CREATE TEMP VIEW tbl_log AS SELECT * FROM " + table + where);
}

Status ListGateways(const std::filesystem::path& target, std::vector<std::string>* names) {
  names->clear();
  ReportDb db;
  if (Status s = db.Open(target, ReportDb::Mode::kReadOnly); !s.ok) return s;
  Statement query;
  if (Status s = db.PrepareNative("SELECT DISTINCT gateway FROM tbl_log ORDER BY gateway", &query);
      !s.ok) {
    return s;
  }
  while (query.Step()) names->emplace_back(query.Text(0));
  if (!query.error().empty()) return Status::Error(query.error());
  return Status::Ok();
}

std::string LocalGatewayName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
  return name.data();
}

}  // namespace vantry::analyser
