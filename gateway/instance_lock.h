#pragma once

#include <string>

namespace vantry {

/// Takes the one-gateway-per-settings-file lock ("<settings file>.run.lock")
/// for the life of the process. False when another gateway holds it.
bool AcquireInstanceLock(std::string* lock_path);

}  // namespace vantry
