#pragma once

#include <asio/any_io_executor.hpp>
#include <string>
#include <string_view>

namespace vantry {

/// The gateway's two trace panes: `Say` (status) and `SayLog` (activity).
/// Both go to one terminal stream, a line per call: stdout in -debug, stderr
/// (the journal) when run as a service.
class Trace {
 public:
  explicit Trace(int fd);
  /// From here on, lines are gathered and written once per turn of the event
  /// loop instead of one write per line; their order is unchanged.
  void AttachExecutor(asio::any_io_executor executor) { executor_ = std::move(executor); }
  /// Writes whatever is gathered; call before ending the process.
  void Flush();

  void Say(std::string_view text);
  void SayLog(std::string_view text);

 private:
  void WriteLine(std::string_view text);
  int fd_;
  asio::any_io_executor executor_;
  std::string pending_;
  bool flush_posted_ = false;
};

}  // namespace vantry
