// Report queries as a user may type them: the translation either fails with a
// reason or gives SQLite text that has nothing left to translate.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "access_dialect.h"
#include "fuzz_check.h"

namespace {

// Outside its single-quoted literals ('' is a quote inside one), SQLite text
// holds neither a "#...#" literal nor a double-quoted one.
bool OnlySingleQuotedLiterals(std::string_view sql) {
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') {
      quoted = !quoted;  // "''" inside a literal closes and reopens it
    } else if (!quoted && (c == '"' || c == '#')) {
      return false;
    }
  }
  return !quoted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view access_sql(reinterpret_cast<const char*>(data), size);
  std::string sqlite_sql;
  vantry::analyser::Status status = vantry::analyser::TranslateAccessSql(access_sql, &sqlite_sql);
  if (!status.ok) {
    FUZZ_CHECK(!status.message.empty());
    return 0;
  }
  FUZZ_CHECK(OnlySingleQuotedLiterals(sqlite_sql));
  // Nothing is left to translate, so a second pass changes nothing.
  std::string again;
  FUZZ_CHECK(vantry::analyser::TranslateAccessSql(sqlite_sql, &again).ok);
  FUZZ_CHECK(again == sqlite_sql);
  return 0;
}
