#pragma once

#include <string>

namespace vantry {

/// What DropPrivileges did: `ok` false means the process could not give up
/// root cleanly and must not go on; `trace_line` says what happened (empty
/// when the process was not root to begin with).
struct PrivilegeDrop {
  bool ok = true;
  std::string trace_line;
};

/// Started as root (by hand, say `vantrysvc -debug`), the gateway gives up
/// root for the service account once its listener is bound and what it reads
/// at start is read: no supplementary groups, the account's group and user,
/// no capabilities left. Without the account it keeps running as root.
PrivilegeDrop DropPrivileges();

}  // namespace vantry
