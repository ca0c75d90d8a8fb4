#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantry::testing {

using namespace std::chrono_literals;

/// A real program started for a test. Its stdout and stderr go to one file;
/// the destructor ends it (SIGTERM, then SIGKILL) by its own PID only.
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> argv;
    /// Added to (or replacing in) the test's own environment.
    std::vector<std::pair<std::string, std::string>> env = {};
    std::filesystem::path output_file = {};  // empty: a file of its own
  };

  explicit ChildProcess(Options options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool Running();
  /// Sends the signal and waits; returns the exit code, or 128+signal when it
  /// died of a signal, or -1 when it did not end in time (it is then killed).
  int Terminate(int signal_number, std::chrono::milliseconds timeout = 5s);
  /// Waits for the process to end by itself; same result codes as Terminate.
  int Wait(std::chrono::milliseconds timeout = 10s);
  std::string Output() const;

 private:
  Options options_;
  pid_t pid_ = -1;
  int status_code_ = -1;
  bool reaped_ = false;
  bool owns_output_ = false;
};

std::string BuiltProgram(std::string_view name);

/// Runs a command to completion; returns its exit code and fills output.
int RunCommand(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& env, std::string* output,
               std::chrono::milliseconds timeout = 60s);

}  // namespace vantry::testing
