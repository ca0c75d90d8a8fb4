// The settings file as anyone may have edited it: parsing never fails, and
// what a save writes reads back as the same document.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "registry_document.h"

namespace {

bool SameEntries(const vantry::RegKey& a, const vantry::RegKey& b) {
  if (a.path != b.path || a.values.size() != b.values.size() || a.kept_lines != b.kept_lines) {
    return false;
  }
  for (std::size_t i = 0; i < a.values.size(); ++i) {
    if (a.values[i].name != b.values[i].name || a.values[i].data != b.values[i].data) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vantry::RegistryDocument doc = vantry::RegistryDocument::Parse(text);
  const std::string saved = doc.Serialize();
  vantry::RegistryDocument again = vantry::RegistryDocument::Parse(saved);

  FUZZ_CHECK(again.keys().size() == doc.keys().size());
  for (std::size_t i = 0; i < doc.keys().size(); ++i) {
    const vantry::RegKey& key = doc.keys()[i];
    FUZZ_CHECK(SameEntries(key, again.keys()[i]));
    FUZZ_CHECK(doc.FindKey(key.path) == &key);
    for (const vantry::RegEntry& entry : key.values) {
      FUZZ_CHECK(vantry::FindValue(key, entry.name) == &entry);
    }
    doc.SubkeyNames(key.path);
  }
  FUZZ_CHECK(again.Serialize() == saved);

  // Editing keeps the document writable and readable.
  if (!doc.keys().empty()) {
    const std::string first = doc.keys().front().path;
    FUZZ_CHECK(doc.DeleteKeyTree(first));
    FUZZ_CHECK(doc.FindKey(first) == nullptr);
    FUZZ_CHECK(doc.AddKey(first));
    FUZZ_CHECK(vantry::RegistryDocument::Parse(doc.Serialize()).FindKey(first) != nullptr);
  }
  return 0;
}
