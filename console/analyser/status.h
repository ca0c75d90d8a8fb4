#pragma once

#include <string>
#include <utility>

namespace vantry::analyser {

/// Outcome of an operation that can fail for reasons the user must read:
/// ok, or a message written for the person at the console.
struct Status {
  bool ok = true;
  std::string message;

  /// A successful outcome.
  static Status Ok() { return {}; }
  /// A failure with its user-facing message.
  static Status Error(std::string text) { return {false, std::move(text)}; }
};

}  // namespace vantry::analyser
