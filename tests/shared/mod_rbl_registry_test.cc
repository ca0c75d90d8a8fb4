#include "mod_rbl_registry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "registry_store.h"
#include "stored_settings.h"
#include "temp_dir.h"

namespace vantry {
namespace {

using testing::TempDir;

class ModRblRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("registry.reg");
    setenv("VANTRY_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override { unsetenv("VANTRY_REGISTRY"); }
  TempDir dir_;
  std::string path_;
};

TEST_F(ModRblRegistry, MissingFileOrValueReadsAsNumberOne) {
  EXPECT_FALSE(RegValueExists(LoadRegistry(), "LocalPort"));
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::int64_t{1}));
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("25"), 1));
  EXPECT_TRUE(RegValueExists(LoadRegistry(), "LocalPort"));
  EXPECT_FALSE(RegValueExists(LoadRegistry(), "localport"));
  EXPECT_EQ(StoredSetting("localport"), RegValue(std::int64_t{1}));
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("25")));
}

TEST_F(ModRblRegistry, OverwriteKeepsTheStoredType) {
  ASSERT_TRUE(SetRegValue("SMTPPort", std::string("24"), 1));
  // The console passes the number type for SMTPPort; the value stays text.
  ASSERT_TRUE(SetRegValue("SMTPPort", std::string("2525"), 4));
  EXPECT_EQ(StoredSetting("SMTPPort"), RegValue(std::string("2525")));
  ASSERT_TRUE(SetRegValue("BlockT3", std::int64_t{0}, 4));
  ASSERT_TRUE(SetRegValue("BlockT3", std::string("2"), 1));
  EXPECT_EQ(StoredSetting("BlockT3"), RegValue(std::int64_t{2}));
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{-1}, 4));
  EXPECT_EQ(RegValueInt16(StoredSetting("LogOK")), -1);
}

TEST_F(ModRblRegistry, ValuesWithoutTheServiceKeysCountAsMissing) {
  testing::WriteFileText(path_,
                         "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                         "Other\\Parameters]\r\n\"LocalPort\"=\"2525\"\r\n");
  EXPECT_FALSE(RegValueExists(LoadRegistry(), "LocalPort"));
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("26"), 1));
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("26")));
  // The other service's value was kept through the write.
  EXPECT_NE(testing::ReadFileText(path_).find("\"2525\""), std::string::npos);
  ASSERT_TRUE(DeleteParametersKey());
  EXPECT_FALSE(RegValueExists(LoadRegistry(), "LocalPort"));
}

TEST_F(ModRblRegistry, SavingAValueKeepsCommentsAndValuesOfOtherTypes) {
  testing::WriteFileText(path_,
                         "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\"
                         "DaskVantry\\Parameters]\r\n; moved to 2525 on Monday\r\n"
                         "\"Extra\"=hex:01,02\r\n\"LocalPort\"=\"25\"\r\n");
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("2525"), 1));
  const std::string stored = testing::ReadFileText(path_);
  EXPECT_NE(stored.find("; moved to 2525 on Monday\r\n"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"Extra\"=hex:01,02\r\n"), std::string::npos) << stored;
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("2525")));
}

TEST_F(ModRblRegistry, ConcurrentWritersNeverLoseValuesNorLeaveHalfFiles) {
  constexpr int kWriters = 6;
  constexpr int kValuesEach = 15;
  auto name = [](int w, int v) { return "W" + std::to_string(w) + "V" + std::to_string(v); };
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int v = 0; v < kValuesEach; ++v) {
        if (!SetRegValue(name(w, v), std::int64_t{w * 100 + v}, 4)) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryDocument doc = LoadRegistry();
  EXPECT_EQ(doc.skipped_lines(), 0);
  for (int w = 0; w < kWriters; ++w) {
    for (int v = 0; v < kValuesEach; ++v) {
      EXPECT_EQ(StoredSetting(name(w, v)), RegValue(std::int64_t{w * 100 + v})) << name(w, v);
    }
  }
}

// Any user who may read the lock file may lock it. Reading needs no lock (every
// write is a rename), and a save waits a few seconds at most, then says why.
TEST_F(ModRblRegistry, ALockHeldForGoodStopsNoReaderAndFailsSavesInTime) {
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("2525"), 1));
  const int holder = open((path_ + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);

  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("2525")));  // at once
  const auto started = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_FALSE(SetRegValue("LocalPort", std::string("26"), 1, &error));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_NE(error.find("cannot lock"), std::string::npos) << error;
  EXPECT_NE(error.find("another process has held it"), std::string::npos) << error;
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("2525")));

  close(holder);
  EXPECT_TRUE(SetRegValue("LocalPort", std::string("26"), 1, &error)) << error;
}

TEST_F(ModRblRegistry, AFileThatCannotBeReadOrWrittenIsNeverReplaced) {
  // A link that points at itself cannot be opened, even by root: writing
  // anyway would replace it with a file holding just the new value.
  std::filesystem::create_symlink("registry.reg", path_);
  std::string error;
  EXPECT_FALSE(SetRegValue("LocalPort", std::string("25"), 1, &error));
  EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  // A folder in the file's place makes the write fail, even for root.
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);
  EXPECT_FALSE(SetRegValue("LocalPort", std::string("25"), 1, &error));
  EXPECT_NE(error.find("registry.reg"), std::string::npos) << error;
}

// Runs `body` in a child as the unprivileged user 65534 and gives its exit status.
template <typename Body>
int AsAnotherUser(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(99);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(ModRblRegistry, OtherUsersShareTheLockButNeverOverwriteWhatTheyCannotRead) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two users";
  // The gateway (root) writes first, which creates the lock file as root.
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("25"), 1));
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{0}, 4));
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  std::filesystem::permissions(path_, std::filesystem::perms(0666));
  // An administrator's console running as another user can still save.
  EXPECT_EQ(AsAnotherUser([] { return SetRegValue("LocalPort", std::string("26"), 1); }), 0);
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("26")));
  EXPECT_EQ(StoredSetting("LogOK"), RegValue(std::int64_t{0}));

  // A settings file that user may not read is left alone, not replaced by one
  // holding only that user's value.
  ASSERT_EQ(chown(path_.c_str(), 0, 0), 0);
  std::filesystem::permissions(path_, std::filesystem::perms(0600));
  const std::string before = testing::ReadFileText(path_);
  EXPECT_EQ(AsAnotherUser([] { return SetRegValue("LocalPort", std::string("27"), 1); }), 1);
  EXPECT_EQ(testing::ReadFileText(path_), before);
}

TEST_F(ModRblRegistry, ASavedFileKeepsItsModeAndOwner) {
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{0}, 4));
  ASSERT_EQ(chmod(path_.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(path_.c_str(), 65534, 65534), 0);
  }
  ASSERT_TRUE(SetRegValue("LocalPort", std::string("2525"), 1));
  struct stat saved {};
  ASSERT_EQ(stat(path_.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(saved.st_uid, 65534u);
  }
  EXPECT_EQ(StoredSetting("LocalPort"), RegValue(std::string("2525")));
}

TEST_F(ModRblRegistry, ATextWithALineBreakIsRefusedAndNothingElseChanges) {
  ASSERT_TRUE(SetRegValue("BlockMsg", std::string("Access Denied."), 1));
  ASSERT_TRUE(SetRegValue("LogOK", std::int64_t{0}, 4));
  ASSERT_TRUE(SetRegValue("UseManual", std::int64_t{0}, 4));
  const std::string before = testing::ReadFileText(path_);
  for (const char* text : {"Go away.\n[x]", "Go away.\r\n", "\rGo"}) {
    std::string error;
    EXPECT_FALSE(SetRegValue("BlockMsg", std::string(text), 1, &error));
    EXPECT_NE(error.find("line break"), std::string::npos) << error;
  }
  EXPECT_EQ(testing::ReadFileText(path_), before);
  EXPECT_EQ(StoredSetting("BlockMsg"), RegValue(std::string("Access Denied.")));
  EXPECT_EQ(StoredSetting("UseManual"), RegValue(std::int64_t{0}));
}

TEST(RegValueConversions, TextAndNumbersConvertTheWayTheReadersExpect) {
  EXPECT_EQ(RegValueText(RegValue(std::int64_t{24})), "24");
  EXPECT_EQ(RegValueInt32(RegValue(std::string(" 300 sockets"))), 300);
  EXPECT_EQ(RegValueInt32(RegValue(std::string("many"))), 0);
  EXPECT_EQ(RegValueInt16(RegValue(std::int64_t{70000})), 32767);
  EXPECT_EQ(RegValueInt16(RegValue(std::int64_t{-1})), -1);
  EXPECT_EQ(RegValueInt32(RegValue(std::string("99999999999999"))), 2147483647);
}

}  // namespace
}  // namespace vantry
