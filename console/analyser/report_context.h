#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace vantry::analyser {

/// Answers the large-result question: true for Yes (list only the first 250).
using LargeResultQuestion = std::function<bool()>;

/// What a generator needs besides the parameters: the database it reads
/// (opened read-only for the one report) and whoever answers its question.
struct ReportContext {
  std::filesystem::path db_file;  ///< a SQLite file or a postgresql:// URI
  /// Empty: the answer is No (every record is listed).
  LargeResultQuestion ask_limit;
  /// Only this gateway's rows; empty: the whole fleet.
  std::string gateway = {};
};

}  // namespace vantry::analyser
