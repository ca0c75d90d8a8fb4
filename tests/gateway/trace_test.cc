// The trace stream may be a pipe, a terminal or a journal socket nobody reads: never waited for.
#include "trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <memory>
#include <string>

namespace vantry {
namespace {

using namespace std::chrono_literals;

std::string Line(int i) { return "line " + std::to_string(i) + " " + std::string(40, 'x'); }

// The loop runs out of work whenever the trace has nothing waiting.
void RunFor(asio::io_context& io, std::chrono::milliseconds time) {
  io.restart();
  io.run_for(time);
}

// What can be read now from a non-blocking descriptor, or until EOF from a blocking one.
std::string ReadUntilNothing(int fd) {
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  return text;
}

constexpr int kLines = 20000;  // about 1 MB, far beyond what a pipe or socket holds

// Half the lines before the loop runs, as at start-up, the rest after.
void Flood(Trace& trace, asio::io_context& io) {
  for (int i = 0; i < kLines / 2; ++i) trace.Say(Line(i));
  trace.AttachExecutor(io.get_executor());
  for (int i = kLines / 2; i < kLines; ++i) trace.SayLog(Line(i));
  RunFor(io, 100ms);
}

// Checks what reached the reader: kept lines whole and in order from the first,
// then the count of the dropped ones; returns what follows the notice.
std::string ExpectKeptLinesThenNotice(const std::string& received) {
  int next = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = received.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = received.substr(start, end - start);
    if (line.rfind("line ", 0) != 0) {
      EXPECT_EQ(line, std::to_string(kLines - next) +
                          " trace lines were dropped while the trace output was not being read");
      EXPECT_GT(next, 1000);
      return received.substr(end + 1);
    }
    EXPECT_EQ(line, Line(next)) << "line " << next;
    if (line != Line(next)) break;
    ++next;
  }
  ADD_FAILURE() << "no notice after " << next << " lines";
  return {};
}

TEST(TraceOnAFullStream, LinesWaitInABoundedBufferAndTheDropIsAnnounced) {
  // A trace that blocked would never get past the flood; the alarm fails it instead of hanging.
  alarm(20);
  for (bool socket : {false, true}) {
    SCOPED_TRACE(socket ? "socket" : "pipe");
    int ends[2];
    ASSERT_EQ(
        socket ? socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) : pipe2(ends, O_CLOEXEC),
        0);
    // The reading end is ours; the writing end stays as any inherited one is.
    fcntl(ends[0], F_SETFL, O_NONBLOCK);
    constexpr std::size_t kBound = 256 * 1024;
    asio::io_context io;
    auto trace = std::make_unique<Trace>(ends[1], kBound);
    Flood(*trace, io);
    EXPECT_GT(trace->pending_bytes(), 0u);
    EXPECT_LE(trace->pending_bytes(), kBound);
    EXPECT_EQ(fcntl(ends[1], F_GETFL) & O_NONBLOCK, 0) << "the shared stream was changed";

    // The reader catches up: the kept lines arrive whole and in order, then the count of the rest.
    std::string received;
    for (int round = 0; round < 400 && received.find("dropped") == std::string::npos;
         ++round, RunFor(io, 10ms))
      received += ReadUntilNothing(ends[0]);
    received += ReadUntilNothing(ends[0]);
    EXPECT_EQ(ExpectKeptLinesThenNotice(received), "") << "nothing may follow the notice";
    EXPECT_EQ(trace->pending_bytes(), 0u);

    // Once drained, lines go straight out again.
    trace->Say("after");
    RunFor(io, 20ms);
    EXPECT_EQ(ReadUntilNothing(ends[0]), "after\n");
    trace.reset();
    close(ends[0]);
    close(ends[1]);
  }
  alarm(0);
}

// A gateway run as a service user from an administrator's shell may not open the pipe it was
// handed (the shell user's), so it has no non-blocking descriptor; an unread pipe must not stop it.
TEST(TraceOnAStreamItCannotReopen, AWriterThreadWaitsInsteadOfTheLoop) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand a pipe to a process of another user";
  int stream[2], done[2];  // the trace's stream, and the child's word that it got through
  ASSERT_EQ(pipe2(stream, O_CLOEXEC) | pipe2(done, O_CLOEXEC), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(20);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
    asio::io_context io;
    Trace trace(stream[1], 256 * 1024);
    if (!trace.uses_writer_thread()) _exit(4);
    Flood(trace, io);
    // Every line was taken or counted without waiting for the reader.
    if (write(done[1], "ok", 2) != 2) _exit(5);
    for (int round = 0; round < 500 && trace.pending_bytes() > 0; ++round) RunFor(io, 10ms);
    trace.Say("after");
    trace.FlushBeforeExit(5s);
    _exit(0);
  }
  close(stream[1]);
  close(done[1]);
  pollfd ready{.fd = done[0], .events = POLLIN, .revents = 0};
  ASSERT_EQ(poll(&ready, 1, 10000), 1) << "the trace blocked on the unread pipe";
  const std::string received = ReadUntilNothing(stream[0]);
  int exit_status = 0;
  ASSERT_EQ(waitpid(child, &exit_status, 0), child);
  close(stream[0]);
  close(done[0]);
  EXPECT_TRUE(WIFEXITED(exit_status) && WEXITSTATUS(exit_status) == 0) << exit_status;
  EXPECT_EQ(ExpectKeptLinesThenNotice(received), "after\n");
}

}  // namespace
}  // namespace vantry
