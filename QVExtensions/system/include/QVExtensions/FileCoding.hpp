#pragma once
// Values loaded from and saved to whole files through a coder: JSONCoder (nlohmann's
// from_json/to_json) or PropertyListCoder (PropertyListCoder.hpp). A coder is any type
// with `template <class T> T decode(const platform::Data&) const` and
// `template <class T> platform::Data encode(const T&) const`.
//
// Reading and writing errors are the platform's, naming the file; decoding and encoding
// errors are the coder's, unchanged. A save is atomic: a failed one leaves the old file.

#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/core/Data.hpp"
#include "platform/io/FileData.hpp"

namespace QVExtensions {

/// JSON through nlohmann-json; throws nlohmann::json::exception on bad or mistyped input.
/// Neither way recurses per level of nesting, so any document that fits in memory is read
/// and written, a TreeItem at its deepest included.
struct JSONCoder {
  /// Spaces per level of indentation; negative writes everything on one line.
  int indent = -1;

  template <typename T>
  T decode(const platform::Data& bytes) const {
    nlohmann::json document = nlohmann::json::parse(bytes.begin(), bytes.end());
    // The document itself is handed over whole: get<json>() copies by recursion, which a
    // deeply nested file would overflow the stack with.
    if constexpr (std::is_same_v<T, nlohmann::json>)
      return document;
    else
      return document.get<T>();
  }
  template <typename T>
  platform::Data encode(const T& value) const {
    // A document is not copied into another first: that copy would recurse too.
    if constexpr (std::is_same_v<T, nlohmann::json>)
      return write(value);
    else
      return write(nlohmann::json(value));
  }

  /// The text `dump(indent)` gives, made without recursion.
  platform::Data write(const nlohmann::json& document) const;
};

template <typename T, typename Coder>
T decodeFromFile(const Coder& coder, const std::filesystem::path& file) {
  return coder.template decode<T>(platform::readFile(file));
}

/// The values of the files in order; the first failure is thrown and nothing is returned.
template <typename T, typename Coder>
std::vector<T> decodeFromFiles(const Coder& coder, const std::vector<std::filesystem::path>& files) {
  std::vector<T> values;
  values.reserve(files.size());
  for (const std::filesystem::path& file : files) values.push_back(decodeFromFile<T>(coder, file));
  return values;
}

/// Nothing is written when encoding fails.
template <typename T, typename Coder>
void encodeToFile(const Coder& coder, const T& value, const std::filesystem::path& file) {
  const platform::Data bytes = coder.encode(value);
  platform::writeFileAtomically(file, bytes);
}

}  // namespace QVExtensions
