#pragma once
// Keyed archives of single objects, written as binary property lists in the
// layout the platform's keyed archiver uses ($archiver, $version, $top, $objects).
// Reading checks the root's class against the one asked for, so an archive
// never turns into an object of another type.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"

namespace platform {

struct KeyedArchive {
  using Value = std::variant<bool, std::int64_t, double, std::string, Data>;

  /// One archived object: its class name and its fields by key.
  struct Object {
    std::string className;
    std::map<std::string, Value> fields;
    bool operator==(const Object&) const = default;
  };

  static Data archive(const Object& root);
  /// The root object when it is of `className`, nothing when the archive holds an object of another
  /// class; throws `corruptArchive()` when the data is no readable keyed archive, or when the root's
  /// fields would copy more than the binary property list reader's bound for data of this size.
  static std::optional<Object> unarchive(const Data& data, std::string_view className);

  /// The error domain and code of a malformed archive, as the platform's coders report it.
  static constexpr std::string_view errorDomain = "NSCocoaErrorDomain";
  static constexpr std::int64_t readCorruptError = 4864;
  /// The error an unreadable archive is reported with.
  static Error corruptArchive();
};

}  // namespace platform
