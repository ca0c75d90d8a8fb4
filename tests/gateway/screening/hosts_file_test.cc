#include "hosts_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "temp_dir.h"

namespace vantry {
namespace {

TEST(HostsFile, FirstNameAndFirstAddressWinAndJunkIsIgnored) {
  HostsEntries e = ParseHostsFile(
      "# comment\n"
      "127.0.0.1\tlocalhost  loopback # trailing\n"
      "::1 localhost ip6-localhost\n"
      "192.0.2.7 Mail.Example.test mail\n"
      "192.0.2.8 mail.example.test second\n"
      "not-an-address name\n"
      "300.1.1.1 bad.example\n"
      "192.0.2.7 later-name\n");
  EXPECT_EQ(e.name_by_address.at("127.0.0.1"), "localhost");
  EXPECT_EQ(e.name_by_address.at("192.0.2.7"), "Mail.Example.test");
  EXPECT_EQ(e.address_by_name.at("mail.example.test"), "192.0.2.7");
  EXPECT_EQ(e.address_by_name.at("loopback"), "127.0.0.1");
  EXPECT_EQ(e.address_by_name.count("ip6-localhost") + e.address_by_name.count("bad.example") +
                e.name_by_address.count("300.1.1.1"),
            0u);
}

// A rewrite that keeps the modification time is seen too, as on a kernel with coarse
// timestamps: the file is emptied, read while empty, then written again within the same tick.
TEST(HostsFile, ChangesOnDiskAreSeenEvenUnderTheSameModificationTime) {
  testing::TempDir dir;
  std::string path = dir.File("hosts");
  HostsFile hosts(path, std::chrono::milliseconds(0));
  EXPECT_EQ(hosts.NameFor("192.0.2.1"), "");
  testing::WriteFileText(path, "192.0.2.1 one.test\n");
  EXPECT_EQ(hosts.NameFor("192.0.2.1"), "one.test");
  EXPECT_EQ(hosts.AddressFor("ONE.test"), "192.0.2.1");
  testing::WriteFileText(path, "");
  EXPECT_EQ(hosts.AddressFor("one.test"), "");
  struct stat emptied {};
  ASSERT_EQ(stat(path.c_str(), &emptied), 0);
  testing::WriteFileText(path, "192.0.2.2 one.test\n");
  const timespec same_times[2] = {emptied.st_atim, emptied.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), same_times, 0), 0);
  EXPECT_EQ(hosts.AddressFor("one.test"), "192.0.2.2");
  EXPECT_EQ(hosts.NameFor("192.0.2.1"), "");
}

}  // namespace
}  // namespace vantry
