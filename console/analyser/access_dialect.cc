#include "access_dialect.h"

#include <cctype>
#include <vector>

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

// Lower-cased words outside literals and parentheses, with where they start.
struct TopWord {
  std::string word;
  size_t pos;
};
std::vector<TopWord> TopLevelWords(std::string_view sql) {
  std::vector<TopWord> words;
  int depth = 0;
  for (size_t i = 0; i < sql.size();) {
    char c = sql[i];
    if (c == '\'') {
      size_t j = i + 1;
      while (j < sql.size() && !(sql[j] == '\'' && (j + 1 >= sql.size() || sql[j + 1] != '\''))) {
        j += sql[j] == '\'' ? 2 : 1;
      }
      i = j + 1;
    } else if (c == '(') {
      ++depth;
      ++i;
    } else if (c == ')') {
      --depth;
      ++i;
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      if (depth == 0) words.push_back({AsciiLower(sql.substr(i, j - i)), i});
      i = j;
    } else {
      ++i;
    }
  }
  return words;
}

// For "select [all] * from tbl_log [where ...] [order by ...]": rowid as the
// last sort key. Anything else (grouping, joins, a typed LIMIT) is left alone.
void AddRowOrder(std::string& sql) {
  std::string trimmed = sql;
  while (!trimmed.empty() && (IsSpace(trimmed.back()) || trimmed.back() == ';')) {
    trimmed.pop_back();
  }
  std::vector<TopWord> words = TopLevelWords(trimmed);
  size_t w = 0;
  if (words.empty() || words[w].word != "select") return;
  ++w;
  size_t star = words[0].pos + 6;
  if (w < words.size() && words[w].word == "all") star = words[w++].pos + 3;
  while (star < trimmed.size() && IsSpace(trimmed[star])) ++star;
  if (star >= trimmed.size() || trimmed[star] != '*') return;
  if (w + 1 >= words.size() || words[w].word != "from" || words[w + 1].word != "tbl_log") return;
  size_t after_table = words[w + 1].pos + 7;
  while (after_table < trimmed.size() && IsSpace(trimmed[after_table])) ++after_table;
  if (after_table < trimmed.size() && !IsWordChar(trimmed[after_table])) return;  // a join
  w += 2;
  if (w < words.size() && words[w].word != "where" && words[w].word != "order") return;
  bool ordered = false;
  for (; w < words.size(); ++w) {
    const std::string& word = words[w].word;
    if (word == "group" || word == "union" || word == "intersect" || word == "except" ||
        word == "limit" || word == "offset" || word == "having" || word == "window") {
      return;
    }
    if (word == "order") ordered = true;
  }
  // Already the last key (a query translated before, or typed so): nothing to add.
  if (ordered && words.back().word == "rowid") return;
  sql = trimmed + (ordered ? ", rowid" : " ORDER BY rowid");
}

}  // namespace

Status TranslateAccessSql(std::string_view access_sql, std::string* sql, SqlTarget target) {
  bool postgres = target == SqlTarget::kPostgres;
  std::string body;
  std::string limit;
  if (Status s = TakeLeadingTop(access_sql, &body, &limit); !s.ok) return s;

  std::string out;
  out.reserve(body.size() + 32);
  // After LIKE on PostgreSQL: the pattern literal that follows gets ESCAPE ''.
  bool like_pattern_next = false;
  auto literal_done = [&](size_t next) {
    if (!like_pattern_next) return;
    like_pattern_next = false;
    size_t probe = next;
    if (NextWord(body, &probe) != "escape") out += " ESCAPE ''";
  };
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
      literal_done(i);
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
      literal_done(i);
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
      literal_done(i);
    } else if (IsWordChar(c)) {
      size_t j = i;
      while (j < body.size() && IsWordChar(body[j])) ++j;
      std::string_view word = std::string_view(body).substr(i, j - i);
      std::string lower = AsciiLower(word);
      if (lower == "select") {
        size_t probe = j;
        std::string next = NextWord(body, &probe);
        if (next == "distinct" || next == "all") next = NextWord(body, &probe);
        if (next == "top") {
          return Status::Error("\"select top\" is supported only at the start of a query.");
        }
      }
      like_pattern_next = false;
      if (postgres && lower == "like") {
        out += "ILIKE";
        like_pattern_next = true;
      } else {
        out.append(word);
      }
      i = j;
    } else {
      if (!IsSpace(c)) like_pattern_next = false;
      out += c;
      ++i;
    }
  }
  AddRowOrder(out);
  if (!limit.empty()) {
    while (!out.empty() && (IsSpace(out.back()) || out.back() == ';')) out.pop_back();
    out += " LIMIT " + limit;
  }
  *sql = std::move(out);
  return Status::Ok();
}

}  // namespace vantry::analyser
