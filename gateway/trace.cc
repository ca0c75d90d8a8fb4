#include "trace.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <asio/post.hpp>
#include <cerrno>
#include <chrono>
#include <string>

namespace vantry {
namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(50);

// Trace texts carry Windows line breaks of their own ("... socket 3" CR LF);
// on a terminal each becomes one line break.
void AppendTerminalLine(std::string& out, std::string_view text) {
  for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r')) {
    out.append(text.substr(0, cr));
    text.remove_prefix(cr + 1);
  }
  out.append(text);
  out.push_back('\n');
}

}  // namespace

Trace::Trace(int fd, std::size_t max_pending) : fd_(fd), max_pending_(max_pending) {
  struct stat kind {};
  if (fstat(fd_, &kind) != 0) return;
  if (S_ISSOCK(kind.st_mode)) {
    is_socket_ = true;  // a send can be told not to wait
  } else if (S_ISFIFO(kind.st_mode) || S_ISCHR(kind.st_mode)) {
    // Opening the stream anew gives a file description whose flags are ours.
    // Without /proc the writes block as they always did.
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    own_fd_.reset(open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  }
  // A regular file takes every write at once.
}

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
    AppendTerminalLine(pending_, text);
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

void Trace::Flush() {
  if (!WriteWhatFits() && executor_) RetryLater();
}

bool Trace::WriteWhatFits() {
  const int out = own_fd_ ? own_fd_.get() : fd_;
  std::size_t done = 0;
  for (;;) {
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
      done = pending_.size();
    }
    pending_.clear();
    if (dropped_lines_ == 0) return true;
    AppendTerminalLine(pending_, std::to_string(dropped_lines_) +
                                     " trace lines were dropped while the trace output was "
                                     "not being read");
    dropped_lines_ = 0;
    done = 0;
  }
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
