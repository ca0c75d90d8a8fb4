#include "atomic_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "temp_dir.h"

namespace vantry {
namespace {

TEST(AtomicFile, ALinkPlantedAtTheTemporaryNameNeverRedirectsTheWrite) {
  // Whoever may write the folder can guess the temporary file's name and put
  // a link there to a file of someone else's.
  testing::TempDir dir;
  const std::string target = dir.File("report.htm");
  const std::string victim = dir.File("victim.txt");
  testing::WriteFileText(victim, "precious");
  std::filesystem::create_symlink(victim, target + ".tmp-" + std::to_string(getpid()));
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(target, "<html></html>", &error)) << error;
  EXPECT_EQ(testing::ReadFileText(victim), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(target));
  EXPECT_EQ(testing::ReadFileText(target), "<html></html>");
  EXPECT_FALSE(std::filesystem::exists(target + ".tmp-" + std::to_string(getpid())));
}

TEST(AtomicFile, ALinkStaysALinkAndItsTargetIsWritten) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.path() / "etc");
  const std::string link = dir.File("registry.reg");
  std::filesystem::create_symlink("etc/vantry.reg", link);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(link, "REGEDIT4\r\n", &error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testing::ReadFileText(dir.File("etc/vantry.reg")), "REGEDIT4\r\n");
  // Once the target exists, the next save replaces the target, not the link.
  ASSERT_TRUE(WriteFileAtomically(link, "REGEDIT4\r\n\r\n", &error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testing::ReadFileText(dir.File("etc/vantry.reg")), "REGEDIT4\r\n\r\n");
}

}  // namespace
}  // namespace vantry
