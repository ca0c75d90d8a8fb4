// Under systemd every trace line carries the priority the journal files it under.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "trace.h"

namespace vantry {
namespace {

TEST(TracePriority, FailuresAreErrorsRefusalsAndLossesWarnings) {
  struct Case {
    const char* text;
    int priority;
  };
  const Case cases[] = {
      {"Cannot listen on port 25: Permission denied", 3},
      {"wsout socket: 3 Connection refused", 3},
      {"Accepting a connection failed: Too many open files", 3},
      {"Slot 4: connection handler failed: bad_alloc", 3},
      {"Zone bl.example not working: no answer; kept", 3},
      {"127.0.0.2 turned away: MaxPerIP 20 reached", 4},
      {"Zone bl.example unhealthy: timeout; skipped until healthy again", 4},
      {"12 trace lines were dropped while the trace output was not being read", 4},
      {"\r\nIncoming connection from 127.0.0.1", 6},
      {"255 sockets listening to port 25 for 10.0.0.1", 6},
  };
  for (const Case& c : cases) EXPECT_EQ(TracePriority(c.text), c.priority) << c.text;
}

class TraceToPipe : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(pipe2(fds_, O_CLOEXEC | O_NONBLOCK), 0); }
  void TearDown() override {
    close(fds_[0]);
    close(fds_[1]);
    unsetenv("JOURNAL_STREAM");
  }
  std::string Written(bool journal) {
    {
      Trace trace(fds_[1], Trace::kDefaultMaxPending, journal);
      trace.Say("\r\nIncoming connection from 127.0.0.1");
      trace.SayLog("Closing inbound socket 3\r\n");
      trace.Say("Cannot listen on port 25: Permission denied");
    }
    std::string text(4096, '\0');
    const ssize_t n = read(fds_[0], text.data(), text.size());
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
  }
  int fds_[2] = {-1, -1};
};

TEST_F(TraceToPipe, EachLineOfAMessageCarriesItsPriorityOnlyForTheJournal) {
  EXPECT_EQ(Written(true),
            "<6>\n<6>Incoming connection from 127.0.0.1\n"
            "<6>Closing inbound socket 3\n<6>\n"
            "<3>Cannot listen on port 25: Permission denied\n");
  EXPECT_EQ(Written(false),
            "\nIncoming connection from 127.0.0.1\n"
            "Closing inbound socket 3\n\n"
            "Cannot listen on port 25: Permission denied\n");
}

TEST_F(TraceToPipe, TheJournalIsTheStreamJournalStreamNames) {
  struct stat pipe_end {};
  ASSERT_EQ(fstat(fds_[1], &pipe_end), 0);
  EXPECT_FALSE(WritesToJournal(fds_[1]));
  const std::string names_it =
      std::to_string(pipe_end.st_dev) + ":" + std::to_string(pipe_end.st_ino);
  setenv("JOURNAL_STREAM", names_it.c_str(), 1);
  EXPECT_TRUE(WritesToJournal(fds_[1]));
  // Redirected elsewhere (a file, another pipe), the trace is no journal's.
  int other[2];
  ASSERT_EQ(pipe(other), 0);
  EXPECT_FALSE(WritesToJournal(other[1]));
  close(other[0]);
  close(other[1]);
}

}  // namespace
}  // namespace vantry
