#include "postfix_fixture.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "child_process.h"
#include "gateway_fixture.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

constexpr const char* kPostfix = "/usr/sbin/postfix";

// Only what a session refused at RCPT needs, besides the queue's core, and every service runs
// outside a chroot, so the instance needs nothing copied into its queue folder; the log goes to
// postlogd and from there to a file.
constexpr std::string_view kServices =
    "pickup    unix  n       -       n       60      1       pickup\n"
    "cleanup   unix  n       -       n       -       0       cleanup\n"
    "qmgr      unix  n       -       n       300     1       qmgr\n"
    "rewrite   unix  -       -       n       -       -       trivial-rewrite\n"
    "proxymap  unix  -       -       n       -       -       proxymap\n"
    "anvil     unix  -       -       n       -       1       anvil\n"
    "postlog   unix-dgram n  -       n       -       1       postlogd\n";

int RunPostfix(const std::string& config_dir, std::string_view command, std::string* output) {
  return RunCommand({kPostfix, "-c", config_dir, std::string(command)}, {}, output, 30s);
}

}  // namespace

PostfixFixture::PostfixFixture() {
  if (geteuid() != 0) {
    unavailable_ = "a private Postfix instance needs root";
    return;
  }
  if (access(kPostfix, X_OK) != 0) {
    unavailable_ = "postfix is not installed (scripts/setup --test installs it)";
    return;
  }
  if (getpwnam("postfix") == nullptr || getgrnam("postdrop") == nullptr) {
    unavailable_ = "the postfix account or the postdrop group is missing";
    return;
  }
  if (!Configure()) return;
  std::string output;
  started_ = true;  // a failed start may still leave a master behind
  if (RunPostfix(config_dir_, "start", &output) != 0) {
    unavailable_ = "postfix did not start: " + output + LogText();
    return;
  }
  if (!WaitForTcpPort(port_, 10s)) unavailable_ = "postfix takes no connection: " + LogText();
}

PostfixFixture::~PostfixFixture() {
  if (!started_) return;
  std::string output;
  if (RunPostfix(config_dir_, "stop", &output) != 0) RunPostfix(config_dir_, "abort", &output);
}

bool PostfixFixture::Configure() {
  namespace fs = std::filesystem;
  const fs::path root = dir_.path();
  config_dir_ = (root / "etc").string();
  const fs::path data = root / "data";
  fs::create_directories(config_dir_);
  fs::create_directories(root / "queue");
  fs::create_directories(data);
  // The daemons run as postfix: they must reach the queue, and own the data folder.
  const passwd* account = getpwnam("postfix");
  if (chmod(root.c_str(), 0755) != 0 || chown(data.c_str(), account->pw_uid, -1) != 0) {
    unavailable_ = "cannot prepare " + root.string() + " for the postfix account";
    return false;
  }
  port_ = FreePort();
  // 127.0.0.1 (the gateway) may relay, 127.0.0.5 may not, and is refused for good rather than
  // deferred, as most installations do; clients are named by address only, without lookups.
  std::string main_cf =
      "compatibility_level = 3.6\nqueue_directory = @/queue\ndata_directory = @/data\n"
      "mail_owner = postfix\nsetgid_group = postdrop\ninet_interfaces = 127.0.0.1\n"
      "inet_protocols = all\nmyhostname = vantry-test.localdomain\nmydestination = localhost\n"
      "mynetworks = 127.0.0.0/30\nrelay_domains =\n"
      "smtpd_relay_restrictions = permit_mynetworks, reject_unauth_destination\n"
      "smtpd_peername_lookup = no\nalias_maps =\nalias_database =\n"
      "maillog_file_prefixes = @\nmaillog_file = @/maillog\n";
  for (std::size_t at; (at = main_cf.find('@')) != std::string::npos;)
    main_cf.replace(at, 1, root.string());
  WriteFileText(root / "etc" / "main.cf", main_cf);
  WriteFileText(root / "etc" / "master.cf",
                "127.0.0.1:" + std::to_string(port_) +
                    " inet n - n - - smtpd -o smtpd_upstream_proxy_protocol=haproxy\n" +
                    std::string(kServices));
  return true;
}

bool PostfixFixture::WaitForLogCount(std::string_view needle, int n,
                                     std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (CountOccurrences(LogText(), needle) < n) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace vantry::testing
