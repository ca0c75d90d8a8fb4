#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantry::testing {

/// A fresh folder under $TMPDIR, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// path() / name as a string, for building file names quickly.
  std::string File(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

/// Whole file as bytes; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& file);
/// Replaces the file with exactly these bytes.
void WriteFileText(const std::filesystem::path& file, std::string_view bytes);
/// A name unique to this process and call, for mailslot names and the like.
std::string UniqueName(std::string_view prefix);

}  // namespace vantry::testing
