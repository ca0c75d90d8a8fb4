#include "trace.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <asio/post.hpp>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace vantry {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(50);

// Trace texts carry Windows line breaks of their own ("... socket 3" CR LF);
// on a terminal each becomes one line break. `prefix` starts every line.
void AppendTerminalLine(std::string& out, std::string_view text, std::string_view prefix = {}) {
  out.append(prefix);
  for (std::size_t br = text.find_first_of("\r\n"); br != std::string_view::npos;
       br = text.find_first_of("\r\n")) {
    out.append(text.substr(0, br));
    if (text[br] == '\n') {
      out.push_back('\n');
      out.append(prefix);
    }
    text.remove_prefix(br + 1);
  }
  out.append(text);
  out.push_back('\n');
}

constexpr std::string_view kPriorityPrefixes[] = {"<0>", "<1>", "<2>", "<3>",
                                                  "<4>", "<5>", "<6>", "<7>"};

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

constexpr std::string_view kDroppedNotice =
    " trace lines were dropped while the trace output was not being read";

}  // namespace

int TracePriority(std::string_view text) {
  // The message's first words decide; line breaks ahead of them do not count.
  text.remove_prefix(std::min(text.find_first_not_of("\r\n"), text.size()));
  static constexpr std::string_view kErrorStarts[] = {
      "Cannot ",      "Listener stopped", "Accepting a connection failed",
      "wsin socket:", "wsout socket:",    "Unexpected error",
      "ProxyOut must"};
  static constexpr std::string_view kErrorParts[] = {": connection handler failed:",
                                                     " not working: "};
  static constexpr std::string_view kWarningStarts[] = {
      "Warning:", "DNS servers:", "ProxyFrom:", "RBL Host list not found", "MaxSocks "};
  static constexpr std::string_view kWarningParts[] = {
      " turned away: ", " list could not be read: ", kDroppedNotice,
      " unhealthy: ", " connection dropped: "};
  for (std::string_view start : kErrorStarts) {
    if (StartsWith(text, start)) return 3;
  }
  for (std::string_view part : kErrorParts) {
    if (text.find(part) != std::string_view::npos) return 3;
  }
  for (std::string_view start : kWarningStarts) {
    if (StartsWith(text, start)) return 4;
  }
  for (std::string_view part : kWarningParts) {
    if (text.find(part) != std::string_view::npos) return 4;
  }
  return 6;
}

bool WritesToJournal(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat kind {};
  return fstat(fd, &kind) == 0 && kind.st_dev == device && kind.st_ino == inode;
}

// Writes to a stream that may block, on a thread of its own. It takes lines
// only while its own buffer has room, so the bound holds here too. The thread
// shares its state rather than the Trace: one blocked for good in a write
// cannot be joined, and is left to end with the process.
class Trace::WriterThread {
 public:
  WriterThread(int fd, std::size_t max_buffer) : state_(std::make_shared<State>()) {
    state_->fd = fd;
    state_->max_buffer = max_buffer;
    std::thread([state = state_] { Run(*state); }).detach();
  }
  ~WriterThread() {
    {
      std::lock_guard lock(state_->mutex);
      state_->stop = true;
    }
    state_->changed.notify_all();
  }
  WriterThread(const WriterThread&) = delete;
  WriterThread& operator=(const WriterThread&) = delete;

  // Takes all of `text`, or nothing while the buffer lacks room for it.
  bool Offer(std::string& text) {
    {
      std::lock_guard lock(state_->mutex);
      if (!state_->broken) {
        if (!state_->buffer.empty() && state_->buffer.size() + text.size() > state_->max_buffer) {
          return false;
        }
        state_->buffer.append(text);
      }
    }
    text.clear();
    state_->changed.notify_all();
    return true;
  }

  void WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(state_->mutex);
    state_->changed.wait_for(
        lock, limit, [&] { return state_->broken || (state_->buffer.empty() && !state_->busy); });
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::string buffer;
    int fd = -1;
    std::size_t max_buffer = 0;
    bool busy = false;
    bool broken = false;
    bool stop = false;
  };

  static void Run(State& state) {
    std::string batch;
    for (;;) {
      {
        std::unique_lock lock(state.mutex);
        state.busy = false;
        state.changed.notify_all();
        state.changed.wait(lock, [&] { return state.stop || !state.buffer.empty(); });
        if (state.buffer.empty()) return;
        batch.swap(state.buffer);
        state.busy = true;
      }
      for (std::size_t done = 0; done < batch.size();) {
        const ssize_t n = write(state.fd, batch.data() + done, batch.size() - done);
        if (n > 0) {
          done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else {
          // A closed or broken stream takes nothing ever again.
          std::lock_guard lock(state.mutex);
          state.broken = true;
          state.buffer.clear();
          break;
        }
      }
      batch.clear();
    }
  }

  std::shared_ptr<State> state_;
};

Trace::Trace(int fd, std::size_t max_pending, bool journal_priorities)
    : fd_(fd), journal_priorities_(journal_priorities), max_pending_(max_pending) {
  struct stat kind {};
  if (fstat(fd_, &kind) != 0) return;
  if (S_ISSOCK(kind.st_mode)) {
    is_socket_ = true;  // a send can be told not to wait
  } else if (S_ISFIFO(kind.st_mode) || S_ISCHR(kind.st_mode)) {
    // Opening the stream anew gives a file description whose flags are ours.
    // Where that is refused (or there is no /proc), a thread does the waiting.
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    own_fd_.reset(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!own_fd_) {
      try {
        writer_ = std::make_unique<WriterThread>(fd_, max_pending_);
      } catch (const std::system_error&) {
        // No thread to be had: the writes block, as they did before there was one.
      }
    }
  }
  // A regular file takes every write at once.
}

Trace::~Trace() = default;

void Trace::AttachExecutor(asio::any_io_executor executor) {
  executor_ = std::move(executor);
  retry_timer_.emplace(executor_);
  // What the stream could not take before the loop ran waits for it now.
  if (!pending_.empty() || dropped_lines_ > 0) Flush();
}

void Trace::Say(std::string_view text) { WriteLine(text); }
void Trace::SayLog(std::string_view text) { WriteLine(text); }

void Trace::WriteLine(std::string_view text) {
  if (pending_.size() + text.size() + 1 > max_pending_) {
    ++dropped_lines_;
  } else {
    AppendLine(text);
  }
  if (!executor_) {
    // One write per line keeps lines whole when several processes share the stream.
    WriteWhatFits();
    return;
  }
  if (flush_posted_ || retry_armed_) return;
  flush_posted_ = true;
  asio::post(executor_, [this] {
    flush_posted_ = false;
    Flush();
  });
}

void Trace::AppendLine(std::string_view text) {
  AppendTerminalLine(pending_, text,
                     journal_priorities_ ? kPriorityPrefixes[TracePriority(text)] : "");
}

void Trace::Flush() {
  if (!WriteWhatFits() && executor_) RetryLater();
}

void Trace::FlushBeforeExit(std::chrono::milliseconds limit) {
  Flush();
  if (writer_) writer_->WaitIdle(limit);
}

bool Trace::WriteWhatFits() {
  for (;;) {
    if (!WritePending()) return false;
    if (dropped_lines_ == 0) return true;
    AppendLine(std::to_string(dropped_lines_) + std::string(kDroppedNotice));
    dropped_lines_ = 0;
  }
}

bool Trace::WritePending() {
  if (writer_) return writer_->Offer(pending_);
  const int out = own_fd_ ? own_fd_.get() : fd_;
  std::size_t done = 0;
  while (done < pending_.size()) {
    const char* data = pending_.data() + done;
    const std::size_t size = pending_.size() - done;
    const ssize_t n =
        is_socket_ ? send(out, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) : write(out, data, size);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pending_.erase(0, done);
      return false;
    }
    // A closed or broken stream takes nothing ever again: what it could not
    // take is lost, and the gateway goes on.
    break;
  }
  pending_.clear();
  return true;
}

void Trace::RetryLater() {
  if (retry_armed_ || !retry_timer_) return;
  retry_armed_ = true;
  retry_timer_->expires_after(kRetryPause);
  retry_timer_->async_wait([this](const std::error_code& ec) {
    retry_armed_ = false;
    if (!ec) Flush();
  });
}

}  // namespace vantry
