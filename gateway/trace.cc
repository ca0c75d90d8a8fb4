#include "trace.h"

#include <asio/post.hpp>
#include <string>

#include "write_all.h"

namespace vantry {
namespace {

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

Trace::Trace(int fd) : fd_(fd) {}

void Trace::Say(std::string_view text) { WriteLine(text); }
void Trace::SayLog(std::string_view text) { WriteLine(text); }

void Trace::WriteLine(std::string_view text) {
  if (!executor_) {
    // One write per line keeps lines whole when several processes share the stream.
    std::string line;
    AppendTerminalLine(line, text);
    WriteAll(fd_, line);  // a closed or full terminal must not stop the gateway
    return;
  }
  AppendTerminalLine(pending_, text);
  if (!flush_posted_) {
    flush_posted_ = true;
    asio::post(executor_, [this] {
      flush_posted_ = false;
      Flush();
    });
  }
}

void Trace::Flush() {
  if (pending_.empty()) return;
  WriteAll(fd_, pending_);  // a closed or full terminal must not stop the gateway
  pending_.clear();
}

}  // namespace vantry
