#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "unique_fd.h"

namespace vantry {

/// The gateway's two trace panes: `Say` (status) and `SayLog` (activity).
/// Both go to one terminal stream, a line per call: stdout in -debug, stderr
/// (the journal) when run as a service.
///
/// Nobody may be reading that stream (a pager left unscrolled, a stopped
/// terminal, a journal that falls behind), so the trace never waits for it:
/// lines it cannot take yet wait in a bounded buffer and go out when it drains,
/// and lines beyond the bound are counted, dropped and announced later.
///
/// A pipe or terminal is written through a non-blocking descriptor of its own.
/// Where none can be had (the gateway's user may not open the stream it was
/// given), a writer thread does the waiting writes instead of the loop.
class Trace {
 public:
  static constexpr std::size_t kDefaultMaxPending = std::size_t{1} << 20;

  /// With `journal_priorities`, every line written starts with the syslog
  /// priority of its message ("<3>" errors, "<4>" warnings, "<6>" the rest),
  /// which the journal takes off and files the line under.
  explicit Trace(int fd, std::size_t max_pending = kDefaultMaxPending,
                 bool journal_priorities = false);
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;
  /// From here on, lines are gathered and written once per turn of the event
  /// loop instead of one write per line; their order is unchanged.
  void AttachExecutor(asio::any_io_executor executor);
  /// Writes as much of what is gathered as the stream takes now.
  void Flush();
  /// Flush, and give a writer thread up to `limit` to hand its lines to the
  /// stream: call before ending the process.
  void FlushBeforeExit(std::chrono::milliseconds limit = std::chrono::milliseconds(200));
  /// True when a writer thread does the writing.
  bool uses_writer_thread() const { return writer_ != nullptr; }

  void Say(std::string_view text);
  void SayLog(std::string_view text);

  std::size_t pending_bytes() const { return pending_.size(); }

 private:
  class WriterThread;

  void WriteLine(std::string_view text);
  void AppendLine(std::string_view text);
  // True when everything gathered went out.
  bool WriteWhatFits();
  // True when the whole of pending_ went out (or to the writer thread).
  bool WritePending();
  void RetryLater();

  // The stream as given, and a non-blocking descriptor of our own for it:
  // setting O_NONBLOCK on an inherited pipe or terminal would change it for
  // every process sharing it.
  int fd_;
  UniqueFd own_fd_;
  std::unique_ptr<WriterThread> writer_;
  bool is_socket_ = false;
  bool journal_priorities_ = false;
  std::size_t max_pending_;
  asio::any_io_executor executor_;
  std::optional<asio::steady_timer> retry_timer_;
  std::string pending_;
  std::size_t dropped_lines_ = 0;
  bool flush_posted_ = false;
  bool retry_armed_ = false;
};

/// The syslog priority of a trace message, judged by its text: 3 for a
/// failure (a socket error, something that cannot be done), 4 for a warning
/// (a setting ignored or lowered, a client turned away, lost trace lines), 6
/// for everything else.
int TracePriority(std::string_view text);

/// True when `fd` is the journal's stream: systemd names it in JOURNAL_STREAM
/// as "device:inode" for the service's own standard output and error.
bool WritesToJournal(int fd);

}  // namespace vantry
