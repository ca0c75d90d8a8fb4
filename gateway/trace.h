#pragma once

#include <string_view>

namespace vantry {

/// The gateway's two trace panes: `Say` (status) and `SayLog` (activity).
/// Both go to one terminal stream, a line per call: stdout in -debug, stderr
/// (the journal) when run as a service.
class Trace {
 public:
  explicit Trace(int fd);
  void set_fd(int fd) { fd_ = fd; }

  void Say(std::string_view text);
  void SayLog(std::string_view text);

 private:
  void WriteLine(std::string_view text);
  int fd_;
};

}  // namespace vantry
