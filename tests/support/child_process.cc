#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "temp_dir.h"

namespace vantry::testing {
namespace {

int DecodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess::ChildProcess(Options options) : options_(std::move(options)) {
  if (options_.output_file.empty()) {
    options_.output_file = std::filesystem::temp_directory_path() / (UniqueName("child") + ".out");
    owns_output_ = true;
  }
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int fd = open(options_.output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    if (fd >= 0) {
      dup2(fd, STDOUT_FILENO);
      dup2(fd, STDERR_FILENO);
      close(fd);
    }
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    // Own process group, so a terminal's Ctrl-C for the test runner does not hit it twice.
    setpgid(0, 0);
    for (const auto& [name, value] : options_.env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (auto& arg : options_.argv) args.push_back(arg.data());
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
}

ChildProcess::~ChildProcess() {
  if (Running()) Terminate(SIGTERM, 3s);
  if (owns_output_) {
    std::error_code ignored;
    std::filesystem::remove(options_.output_file, ignored);
  }
}

bool ChildProcess::Running() {
  if (reaped_ || pid_ <= 0) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_code_ = DecodeStatus(status);
    return false;
  }
  return r == 0;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(10ms);
  }
  return status_code_;
}

int ChildProcess::Terminate(int signal_number, std::chrono::milliseconds timeout) {
  if (!Running()) return status_code_;
  kill(pid_, signal_number);
  int code = Wait(timeout);
  if (code == -1 && Running()) {
    kill(pid_, SIGKILL);
    Wait(5s);
    return -1;
  }
  return code;
}

std::string ChildProcess::Output() const { return ReadFileText(options_.output_file); }

std::string BuiltProgram(std::string_view name) {
  return std::string(VANTRY_BIN_DIR) + "/" + std::string(name);
}

int RunCommand(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& env, std::string* output,
               std::chrono::milliseconds timeout) {
  ChildProcess child({.argv = argv, .env = env});
  int code = child.Wait(timeout);
  if (code == -1) code = child.Terminate(SIGKILL, 2s);
  if (output) *output = child.Output();
  return code;
}

}  // namespace vantry::testing
