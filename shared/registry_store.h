#pragma once

#include <functional>
#include <string>

#include "registry_document.h"

namespace vantry {

/// The settings file when $VANTRY_REGISTRY names none.
inline constexpr const char* kDefaultRegistryPath = "/etc/vantry/registry.reg";

/// Path of the settings file: $VANTRY_REGISTRY, else kDefaultRegistryPath.
std::string RegistryFilePath();

/// Reads the settings file, without a lock: every write replaces the file by
/// rename, so a reader sees the old file or the new one, never half of one. A
/// missing or unreadable file reads as an empty document (every value then
/// counts as missing).
RegistryDocument LoadRegistry();

/// Read-modify-write under an exclusive lock: the file is re-read inside the
/// lock, changed by `edit`, and replaced atomically (temporary file, fsync,
/// rename), so concurrent writers never lose each other's values and a crash
/// never leaves half a file. Returns false with a reason in *error on failure.
bool UpdateRegistry(const std::function<void(RegistryDocument&)>& edit,
                    std::string* error = nullptr);

}  // namespace vantry
