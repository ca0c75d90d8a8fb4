#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "temp_dir.h"
#include "trace.h"

namespace vantry::testing {

/// A Trace whose lines land in a temporary file the test can read back.
class TraceCapture {
 public:
  TraceCapture()
      : path_(dir_.File("trace.txt")),
        fd_(open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644)),
        trace_(fd_) {}
  ~TraceCapture() { close(fd_); }
  Trace& trace() { return trace_; }
  std::string Text() const { return ReadFileText(path_); }

 private:
  TempDir dir_;
  std::string path_;
  int fd_;
  Trace trace_;
};

}  // namespace vantry::testing
