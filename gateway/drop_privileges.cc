#include "drop_privileges.h"

#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "service_user.h"

namespace vantry {

PrivilegeDrop DropPrivileges() {
  if (geteuid() != 0) return {};
  const std::string name(kServiceUserName);
  std::optional<ServiceUser> user = LookUpServiceUser();
  if (!user) {
    return {true, "Warning: running as root: there is no user " + name +
                      " to run as (vantrysvc -install makes it)"};
  }
  // The group first: once the user id is gone, so is the right to change it.
  if (setgroups(0, nullptr) != 0 || setgid(user->gid) != 0 || setuid(user->uid) != 0) {
    return {false, "Cannot run as user " + name + ": " + std::strerror(errno)};
  }
  // setuid from root to another user drops every id and capability at once;
  // a way back would mean it did not.
  if (setuid(0) == 0 || geteuid() == 0)
    return {false, "Cannot run as user " + name + ": still root"};
  return {true, "Running as user " + name + " (uid " + std::to_string(user->uid) + ", gid " +
                    std::to_string(user->gid) + ")"};
}

}  // namespace vantry
