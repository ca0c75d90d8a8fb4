#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "report_db.h"
#include "report_line.h"
#include "status.h"

namespace vantry::analyser {

/// Stores log entries in tbl_log inside the caller's transaction: one prepared
/// INSERT per row on SQLite, one COPY stream on PostgreSQL.
class LogRowWriter {
 public:
  LogRowWriter(ReportDb& db, std::string gateway) : db_(db), gateway_(std::move(gateway)) {}
  ~LogRowWriter();
  LogRowWriter(const LogRowWriter&) = delete;
  LogRowWriter& operator=(const LogRowWriter&) = delete;

  Status Begin();

  enum class Added {
    kStored,
    kTooLong,  ///< a field is longer than the database stores
    kNotText,  ///< a field is no UTF-8 text (PostgreSQL stores nothing else)
    kFailed,   ///< the database refused the row; see the status
  };
  /// `date` and `time` are the stored forms.
  Added Add(const ReportFieldViews& fields, std::string_view date, std::string_view time,
            Status* failure);
  /// Sends what is buffered and ends the COPY; the server's verdict.
  Status Finish();

 private:
  Status Flush();

  ReportDb& db_;
  std::string gateway_;
  Statement insert_;
  std::string copy_buffer_;
  bool copying_ = false;
};

/// True when the bytes are UTF-8 text without NUL.
bool IsUtf8Text(std::string_view bytes);

}  // namespace vantry::analyser
