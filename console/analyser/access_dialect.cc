#include "access_dialect.h"

#include <cctype>

#include "date_time_text.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads the word starting at pos (after blanks); returns it lower-cased and
// moves pos past it. Empty when no word starts there.
std::string NextWord(std::string_view text, size_t* pos) {
  size_t i = *pos;
  while (i < text.size() && IsSpace(text[i])) ++i;
  size_t start = i;
  while (i < text.size() && IsWordChar(text[i])) ++i;
  if (i == start) return {};
  *pos = i;
  return AsciiLower(text.substr(start, i - start));
}

// Finds "select [distinct|all] top N" at the start of the query and removes the
// "top N" part; limit receives N.
Status TakeLeadingTop(std::string_view text, std::string* rest, std::string* limit) {
  size_t pos = 0;
  if (NextWord(text, &pos) != "select") {
    rest->assign(text);
    return Status::Ok();
  }
  size_t after_select = pos;
  size_t probe = pos;
  std::string word = NextWord(text, &probe);
  size_t before_top = pos;
  if (word == "distinct" || word == "all") {
    before_top = probe;
    word = NextWord(text, &probe);
  }
  if (word != "top") {
    rest->assign(text);
    return Status::Ok();
  }
  size_t i = probe;
  while (i < text.size() && IsSpace(text[i])) ++i;
  size_t digits = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == digits || (i < text.size() && IsWordChar(text[i])) || i - digits > 18) {
    return Status::Error("\"select top\" must be followed by a whole number of rows.");
  }
  limit->assign(text.substr(digits, i - digits));
  (void)after_select;
  *rest = std::string(text.substr(0, before_top)) + std::string(text.substr(i));
  return Status::Ok();
}

}  // namespace

Status TranslateAccessSql(std::string_view access_sql, std::string* sqlite_sql) {
  std::string body;
  std::string limit;
  if (Status s = TakeLeadingTop(access_sql, &body, &limit); !s.ok) return s;

  std::string out;
  out.reserve(body.size() + 32);
  size_t i = 0;
  while (i < body.size()) {
    char c = body[i];
    if (c == '\'') {
      size_t j = i + 1;
      while (true) {
        if (j >= body.size()) return Status::Error("A text literal is not closed by a quote.");
        if (body[j] == '\'') {
          if (j + 1 < body.size() && body[j + 1] == '\'') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      out.append(body, i, j + 1 - i);
      i = j + 1;
    } else if (c == '"') {
      std::string text;
      size_t j = i + 1;
      while (true) {
        if (j >= body.size()) return Status::Error("A text literal is not closed by a quote.");
        if (body[j] == '"') {
          if (j + 1 < body.size() && body[j + 1] == '"') {
            text += '"';
            j += 2;
            continue;
          }
          break;
        }
        text += body[j++];
      }
      out += '\'' + DoubleQuotes(text) + '\'';
      i = j + 1;
    } else if (c == '#') {
      size_t close = body.find('#', i + 1);
      if (close == std::string::npos) {
        return Status::Error("A date or time literal is not closed by \"#\".");
      }
      std::string_view inside = std::string_view(body).substr(i + 1, close - i - 1);
      auto stored = AccessLiteralToStored(inside);
      if (!stored) {
        return Status::Error("\"#" + std::string(inside) +
                             "#\" is not a date (mm/dd/yyyy) or time (h:mm AM/PM).");
      }
      out += '\'' + *stored + '\'';
      i = close + 1;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < body.size() && IsWordChar(body[j])) ++j;
      std::string_view word = std::string_view(body).substr(i, j - i);
      if (AsciiLower(word) == "select") {
        size_t probe = j;
        std::string next = NextWord(body, &probe);
        if (next == "distinct" || next == "all") next = NextWord(body, &probe);
        if (next == "top") {
          return Status::Error("\"select top\" is supported only at the start of a query.");
        }
      }
      out.append(word);
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  if (!limit.empty()) {
    while (!out.empty() && (IsSpace(out.back()) || out.back() == ';')) out.pop_back();
    out += " LIMIT " + limit;
  }
  *sqlite_sql = std::move(out);
  return Status::Ok();
}

}  // namespace vantry::analyser
