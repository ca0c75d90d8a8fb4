#pragma once

#include <string_view>

#include "mod_rbl_registry.h"
#include "registry_store.h"

namespace vantry {

/// A value as it stands in the settings file now (the number 1 when missing).
inline RegValue StoredSetting(std::string_view name) { return GetRegValue(LoadRegistry(), name); }

}  // namespace vantry
