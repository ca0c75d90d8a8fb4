#pragma once

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace vantry::analyser {

/// Longest log line the import takes. The gateway's lines stay far below it;
/// a longer one is a damaged log or some other file, and buffering it whole
/// could take more memory than the machine has.
inline constexpr std::size_t kMaxLogLineBytes = 64 * 1024;

/// Feeds the lines of a file to a callback; a line ends at CR LF, LF or CR.
/// A line longer than the cap is never buffered: its bytes are dropped up to
/// the next line end, and the callback learns only that it was too long.
class LogLineReader {
 public:
  explicit LogLineReader(std::FILE* file, std::size_t max_line = kMaxLogLineBytes)
      : file_(file), max_line_(max_line) {}

  /// For reading on from where an earlier run stopped: the file is already at
  /// `offset`, and a last line without its line end is left unread (a writer
  /// may be half-way through it).
  void ResumeAt(std::uint64_t offset) {
    bytes_read_ = complete_bytes_ = offset;
    hold_unterminated_ = true;
  }

  /// Calls fn(line, too_long) for every line, in order; `line` is empty when
  /// `too_long` is set. Stops when fn returns false. Returns false when fn
  /// stopped it or on a read error (error() is then set), true at the end.
  template <typename Fn>
  bool ForEachLine(Fn&& fn) {
    std::vector<char> chunk(1 << 20);
    bool pending_cr = false;
    while (true) {
      size_t got = std::fread(chunk.data(), 1, chunk.size(), file_);
      if (got == 0) {
        if (std::ferror(file_)) {
          error_ = errno;
          return false;
        }
        if (!hold_unterminated_ && (overlong_ || !line_.empty())) return EndLine({}, fn);
        return true;
      }
      const std::uint64_t chunk_start = bytes_read_;
      bytes_read_ += got;
      const char* data = chunk.data();
      size_t start = 0;
      size_t i = 0;
      if (pending_cr) {
        if (data[0] == '\n') {
          start = i = 1;  // the LF of a CR LF split across chunks
          complete_bytes_ = chunk_start + 1;
        }
        pending_cr = false;
      }
      for (; i < got; ++i) {
        char c = data[i];
        if (c != '\n' && c != '\r') continue;
        if (!EndLine(std::string_view(data + start, i - start), fn)) return false;
        if (c == '\r') {
          if (i + 1 < got) {
            if (data[i + 1] == '\n') ++i;
          } else {
            pending_cr = true;
          }
        }
        start = i + 1;
        complete_bytes_ = chunk_start + start;
      }
      Keep(std::string_view(data + start, got - start));
    }
  }

  std::uint64_t bytes_read() const { return bytes_read_; }
  /// File offset just past the last line end read: where the next run resumes.
  std::uint64_t complete_bytes() const { return complete_bytes_; }
  int error() const { return error_; }
  /// Most bytes of one line held at any time (never more than the cap).
  std::size_t longest_buffered() const { return longest_buffered_; }

 private:
  // Holds the start of a line that goes on in the next chunk.
  void Keep(std::string_view piece) {
    if (overlong_) return;
    if (line_.size() + piece.size() > max_line_) {
      overlong_ = true;
      line_.clear();
      return;
    }
    line_.append(piece);
    longest_buffered_ = std::max(longest_buffered_, line_.size());
  }

  // `tail` is the part of the line in the current chunk.
  template <typename Fn>
  bool EndLine(std::string_view tail, Fn& fn) {
    bool ok;
    if (overlong_ || line_.size() + tail.size() > max_line_) {
      ok = fn(std::string_view(), true);
    } else if (line_.empty()) {
      ok = fn(tail, false);
    } else {
      line_.append(tail);
      longest_buffered_ = std::max(longest_buffered_, line_.size());
      ok = fn(std::string_view(line_), false);
    }
    overlong_ = false;
    line_.clear();
    return ok;
  }

  std::FILE* file_;
  std::size_t max_line_;
  std::string line_;
  bool overlong_ = false;  // the current line passed the cap; its bytes are dropped
  std::uint64_t bytes_read_ = 0;
  std::uint64_t complete_bytes_ = 0;
  bool hold_unterminated_ = false;
  std::size_t longest_buffered_ = 0;
  int error_ = 0;
};

}  // namespace vantry::analyser
