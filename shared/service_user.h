#pragma once

#include <pwd.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantry {

/// The system account the gateway runs as; -install creates it.
inline constexpr std::string_view kServiceUserName = "vantry";

struct ServiceUser {
  uid_t uid;
  gid_t gid;
};

/// The account's ids; nullopt when it does not exist (yet).
inline std::optional<ServiceUser> LookUpServiceUser() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  const std::string name(kServiceUserName);
  if (getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  return ServiceUser{found->pw_uid, found->pw_gid};
}

}  // namespace vantry
