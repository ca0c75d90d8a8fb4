#include "trace.h"

#include <errno.h>
#include <unistd.h>

#include <string>

namespace vantry {

Trace::Trace(int fd) : fd_(fd) {}

void Trace::Say(std::string_view text) { WriteLine(text); }
void Trace::SayLog(std::string_view text) { WriteLine(text); }

void Trace::WriteLine(std::string_view text) {
  // Trace texts carry Windows line breaks of their own ("... socket 3" CR LF);
  // on a terminal each becomes one line break.
  std::string line;
  line.reserve(text.size() + 1);
  for (char c : text) {
    if (c != '\r') line.push_back(c);
  }
  line.push_back('\n');
  // One write per line keeps lines whole when several processes share the stream.
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed or full terminal must not stop the gateway
    done += static_cast<size_t>(n);
  }
}

}  // namespace vantry
