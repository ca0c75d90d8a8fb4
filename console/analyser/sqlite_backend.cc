#include "sqlite_backend.h"

#include <limits>
#include <string>

namespace vantry::analyser {
namespace {

// Reading connections run nothing but reads: no ATTACH of another file, no
// PRAGMA, no writes, whatever a typed custom query tries.
int ReadOnlyAuthorizer(void*, int action, const char*, const char*, const char*, const char*) {
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    default:
      return SQLITE_DENY;
  }
}

bool OnlyBlanksAndSemicolons(std::string_view tail) {
  for (char c : tail) {
    if (c != ';' && c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

class SqliteStatement : public StatementBackend {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  ~SqliteStatement() override { sqlite3_finalize(stmt_); }

  bool Step(std::string* error) override {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) *error = sqlite3_errmsg(db_);
    return false;
  }
  void Reset() override { sqlite3_reset(stmt_); }
  int ColumnCount() const override { return sqlite3_column_count(stmt_); }
  std::string_view ColumnName(int column) const override {
    const char* name = sqlite3_column_name(stmt_, column);
    return name ? name : "";
  }
  std::string_view Text(int column) const override {
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    if (!text) return {};
    return {reinterpret_cast<const char*>(text),
            static_cast<size_t>(sqlite3_column_bytes(stmt_, column))};
  }
  bool IsNull(int column) const override {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
  }
  std::int64_t Int64(int column) const override { return sqlite3_column_int64(stmt_, column); }
  bool BindText(int index, std::string_view text) override {
    // Beyond int the length would wrap round and SQLite would read to the next NUL.
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
    return sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                             SQLITE_STATIC) == SQLITE_OK;
  }
  void BindInt64(int index, std::int64_t value) override {
    sqlite3_bind_int64(stmt_, index, value);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
};

}  // namespace

SqliteConnection::~SqliteConnection() { sqlite3_close_v2(db_); }

Status SqliteConnection::Open(const std::filesystem::path& file, bool read_only,
                              std::unique_ptr<SqliteConnection>* connection) {
  std::error_code ec;
  if (read_only && !std::filesystem::exists(file, ec)) {
    return Status::Error("The report database \"" + file.string() +
                         "\" does not exist; import a log first.");
  }
  std::unique_ptr<SqliteConnection> opened(new SqliteConnection);
  int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  int rc = sqlite3_open_v2(file.c_str(), &opened->db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string reason = opened->db_ ? sqlite3_errmsg(opened->db_) : "unknown error";
    return Status::Error("Cannot open the report database \"" + file.string() + "\": " + reason);
  }
  sqlite3_extended_result_codes(opened->db_, 1);
  // A second program holding the file gets a short grace period, then a message.
  sqlite3_busy_timeout(opened->db_, 2000);
  *connection = std::move(opened);
  return Status::Ok();
}

void SqliteConnection::AllowOnlyReads() {
  sqlite3_set_authorizer(db_, ReadOnlyAuthorizer, nullptr);
}

Status SqliteConnection::Exec(std::string_view sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return Status::Error(text);
  }
  return Status::Ok();
}

Status SqliteConnection::Prepare(std::string_view sql,
                                 std::unique_ptr<StatementBackend>* statement) {
  sqlite3_stmt* stmt = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail) !=
      SQLITE_OK) {
    return Status::Error(sqlite3_errmsg(db_));
  }
  if (!stmt) return Status::Error("The query is empty.");
  if (!OnlyBlanksAndSemicolons(sql.substr(tail - sql.data()))) {
    sqlite3_finalize(stmt);
    return Status::Error("Only one statement may be run at a time.");
  }
  *statement = std::make_unique<SqliteStatement>(db_, stmt);
  return Status::Ok();
}

}  // namespace vantry::analyser
