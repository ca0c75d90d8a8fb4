#pragma once

#include <string>
#include <string_view>

#include "status.h"

namespace vantry::analyser {

/// Turns a query written in the Access dialect the reports use into SQLite SQL:
///  - "#mm/dd/yyyy#", "#h:mm AM/PM#" and "#date time#" literals become the
///    stored text forms ('yyyy-mm-dd', 'hh:mm:ss'), which compare in date and
///    time order;
///  - a leading "select [distinct] top N" becomes "select [distinct]" ... " LIMIT N";
///  - double-quoted text literals become single-quoted ones.
/// Single-quoted literals pass untouched, so a "#" or a keyword inside typed
/// criteria never changes the query's meaning. like/%/between/count(*)/
/// distinct/DESC are shared by both dialects. On failure the message says why.
Status TranslateAccessSql(std::string_view access_sql, std::string* sqlite_sql);

}  // namespace vantry::analyser
