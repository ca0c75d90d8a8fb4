#pragma once

#include <string>
#include <string_view>

#include "db_backend.h"
#include "status.h"

namespace vantry::analyser {

/// The SQL a translated query is for.
using SqlTarget = DbKind;

/// Turns a query written in the Access dialect the reports use into SQLite or
/// PostgreSQL SQL:
///  - "#mm/dd/yyyy#", "#h:mm AM/PM#" and "#date time#" literals become the
///    stored text forms ('yyyy-mm-dd', 'hh:mm:ss'), which compare in date and
///    time order;
///  - a leading "select [distinct] top N" becomes "select [distinct]" ... " LIMIT N";
///  - double-quoted text literals become single-quoted ones.
/// Single-quoted literals pass untouched, so a "#" or a keyword inside typed
/// criteria never changes the query's meaning. like/%/between/count(*)/
/// distinct/DESC are shared by both dialects. On failure the message says why.
///
/// A query that lists whole rows of tbl_log ("select [top N] * from tbl_log
/// ...") gets rowid as its last sort key, so rows that tie come in the order
/// they were stored on either backend. For PostgreSQL, LIKE becomes ILIKE
/// (SQLite's LIKE ignores case) and its pattern gets ESCAPE '' (a backslash is
/// an escape there and a plain character in SQLite); the text columns compare
/// without case by their type (citext).
Status TranslateAccessSql(std::string_view access_sql, std::string* sql,
                          SqlTarget target = SqlTarget::kSqlite);

}  // namespace vantry::analyser
