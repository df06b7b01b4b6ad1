#pragma once
// Observing the values of an object's keys: the change record an observer
// receives, the option bits it registers with, and the observer interface.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/defaults/PropertyList.hpp"

namespace platform {

/// Option bits of a registration.
namespace KeyValueObservingOptions {
inline constexpr std::uint64_t newValue = 1;
inline constexpr std::uint64_t oldValue = 2;
inline constexpr std::uint64_t initial = 4;  // one notification during registration
inline constexpr std::uint64_t prior = 8;    // one more notification before each change
}  // namespace KeyValueObservingOptions

/// What changed; the values are present only when their option was given and the key had a value.
struct KeyValueChange {
  enum class Kind : std::uint64_t { setting = 1, insertion = 2, removal = 3, replacement = 4 };
  Kind kind = Kind::setting;
  std::optional<std::vector<std::size_t>> indexes;  // changes of ordered collections only
  bool isPrior = false;
  std::optional<PropertyList> newValue;
  std::optional<PropertyList> oldValue;
};

class UserDefaults;

class KeyValueObserver {
 public:
  virtual ~KeyValueObserver() = default;
  /// Called synchronously on the thread that made the change; `context` is the registration's.
  virtual void observeValue(std::string_view keyPath, UserDefaults* object, const KeyValueChange* change,
                            const void* context) = 0;
};

}  // namespace platform
