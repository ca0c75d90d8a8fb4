#include "log_row_writer.h"

#include "pg_backend.h"
#include "sql_text.h"

namespace vantry::analyser {
namespace {

constexpr std::string_view kInsertSql =
    "INSERT INTO tbl_log (MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, BLInfo, "
    "connectdate, ConnectTime, gateway) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)";
constexpr std::string_view kCopySql =
    "COPY tbl_log (MaxSocket, Socket, StatusCode, IP1, IP2, Host, BLType, BLInfo, connectdate, "
    "ConnectTime, gateway) FROM STDIN";
constexpr std::size_t kCopyChunk = 256 * 1024;

}  // namespace

bool IsUtf8Text(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra = (c >= 0xC2 && c <= 0xDF)   ? 1
                : (c >= 0xE0 && c <= 0xEF) ? 2
                : (c >= 0xF0 && c <= 0xF4) ? 3
                                           : -1;
    if (extra < 0 || i + extra >= bytes.size()) return false;
    auto next = [&](int k) { return static_cast<unsigned char>(bytes[i + k]); };
    for (int k = 1; k <= extra; ++k) {
      if ((next(k) & 0xC0) != 0x80) return false;
    }
    // No overlong forms, surrogates or code points beyond U+10FFFF.
    if ((c == 0xE0 && next(1) < 0xA0) || (c == 0xED && next(1) > 0x9F) ||
        (c == 0xF0 && next(1) < 0x90) || (c == 0xF4 && next(1) > 0x8F)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

LogRowWriter::~LogRowWriter() {
  // A COPY left open would keep the connection from rolling back.
  if (copying_) db_.postgres()->CopyAbort();
}

Status LogRowWriter::Begin() {
  if (db_.kind() == DbKind::kSqlite) return db_.PrepareNative(kInsertSql, &insert_);
  if (Status s = db_.postgres()->CopyBegin(kCopySql); !s.ok) return s;
  copying_ = true;
  return Status::Ok();
}

LogRowWriter::Added LogRowWriter::Add(const ReportFieldViews& fields, std::string_view date,
                                      std::string_view time, Status* failure) {
  if (!copying_) {
    insert_.BindInt64(1, ClampedLeadingNumber(fields[kSlotLimitField]));
    insert_.BindInt64(2, ClampedLeadingNumber(fields[kSlotField]));
    bool bound = true;
    for (int i = kActionField; i <= kBlockSourceField; ++i)
      bound = insert_.BindTextStatic(i, fields[i]) && bound;
    bound = insert_.BindTextStatic(9, date) && bound;
    bound = insert_.BindTextStatic(10, time) && bound;
    bound = insert_.BindTextStatic(11, gateway_) && bound;
    // Stored, the refused field would read as empty with nothing said.
    if (!bound) return Added::kTooLong;
    insert_.Step();
    if (!insert_.error().empty()) {
      *failure = Status::Error(insert_.error());
      return Added::kFailed;
    }
    insert_.Reset();
    return Added::kStored;
  }
  for (int i = kActionField; i <= kBlockSourceField; ++i) {
    if (!IsUtf8Text(fields[i])) return Added::kNotText;
  }
  copy_buffer_ += std::to_string(ClampedLeadingNumber(fields[kSlotLimitField]));
  copy_buffer_ += '\t';
  copy_buffer_ += std::to_string(ClampedLeadingNumber(fields[kSlotField]));
  for (int i = kActionField; i <= kBlockSourceField; ++i) {
    copy_buffer_ += '\t';
    AppendCopyField(copy_buffer_, fields[i]);
  }
  for (std::string_view text : {date, time, std::string_view(gateway_)}) {
    copy_buffer_ += '\t';
    AppendCopyField(copy_buffer_, text);
  }
  copy_buffer_ += '\n';
  if (copy_buffer_.size() >= kCopyChunk) {
    if (Status s = Flush(); !s.ok) {
      *failure = s;
      return Added::kFailed;
    }
  }
  return Added::kStored;
}

Status LogRowWriter::Flush() {
  Status s = db_.postgres()->CopyData(copy_buffer_);
  copy_buffer_.clear();
  return s;
}

Status LogRowWriter::Finish() {
  insert_ = Statement();
  if (!copying_) return Status::Ok();
  copying_ = false;
  Status flushed = copy_buffer_.empty() ? Status::Ok() : Flush();
  Status ended = db_.postgres()->CopyEnd();
  return flushed.ok ? ended : flushed;
}

}  // namespace vantry::analyser
