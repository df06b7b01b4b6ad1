#pragma once
// Typed settings keys over the user-defaults database: a key names one entry
// of one suite, fixes its value type and carries a default. Creating a key
// registers its default in the suite's registration domain; reading gives the
// stored value converted to the key's type, or the default; writing stores the
// converted value, or removes the entry when the value has no stored form.

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Defaults/AnySerializable.hpp"
#include "Defaults/Serializable.hpp"
#include "platform/defaults/UserDefaults.hpp"

namespace Defaults {

using Suite = std::shared_ptr<platform::UserDefaults>;

/// A key's name and suite, whatever its value type.
class AnyKey {
 public:
  /// A null suite means the standard one.
  AnyKey(std::string name, Suite suite);
  virtual ~AnyKey() = default;

  const std::string& name() const noexcept { return name_; }
  const Suite& suite() const noexcept { return suite_; }

  /// Removes the stored entry; the registered default applies again.
  void reset() const;

 private:
  std::string name_;
  Suite suite_;
};

template <Serializable Value>
class Key : public AnyKey {
 public:
  /// Registers the default's stored form under the name, unless the default is empty or has no stored form.
  Key(std::string name, Value defaultValue, Suite suite = platform::UserDefaults::standardUserDefaults())
      : AnyKey(std::move(name), std::move(suite)), defaultValue_(std::move(defaultValue)) {
    if constexpr (DefaultsOptionalType<Value>) {
      if (OptionalTraits<Value>::isNil(defaultValue_)) return;
    }
    if (auto object = toPropertyListObject(defaultValue_))
      this->suite()->registerDefaults({{this->name(), std::move(*object)}});
  }

  /// A key of an optional type whose default is empty: nothing is registered.
  explicit Key(std::string name, Suite suite = platform::UserDefaults::standardUserDefaults())
    requires DefaultsOptionalType<Value>
      : AnyKey(std::move(name), std::move(suite)), defaultValue_() {}

  const Value& defaultValue() const noexcept { return defaultValue_; }

 private:
  Value defaultValue_;
};

/// The stored value of the key's entry in `suite`, converted; else the key's default.
template <Serializable Value>
Value get(platform::UserDefaults& suite, const Key<Value>& key) {
  if (auto object = suite.objectForKey(key.name()))
    if (auto value = fromPropertyListObject<Value>(*object)) return std::move(*value);
  return key.defaultValue();
}

/// Stores the value under the key's name in `suite`; an empty value, or one without a stored form, removes the entry.
template <Serializable Value>
void set(platform::UserDefaults& suite, const Key<Value>& key, const Value& value) {
  if constexpr (DefaultsOptionalType<Value>) {
    if (OptionalTraits<Value>::isNil(value)) {
      suite.removeObject(key.name());
      return;
    }
  }
  suite.setObject(toPropertyListObject(value), key.name());
}

/// Reads the value, lets `change` alter it in place and writes it back, also when `change` throws.
template <Serializable Value, typename Change>
  requires std::invocable<Change&, Value&>
void modify(platform::UserDefaults& suite, const Key<Value>& key, Change&& change) {
  Value value = get(suite, key);
  struct WriteBack {
    platform::UserDefaults& suite;
    const Key<Value>& key;
    Value& value;
    ~WriteBack() {
      try {
        set(suite, key, value);
      } catch (...) {  // a destructor must not throw; the caller's own error is on its way
      }
    }
  } writeBack{suite, key, value};
  std::invoke(change, value);
}

template <Serializable Value>
Value get(const Key<Value>& key) {
  return get(*key.suite(), key);
}
template <Serializable Value>
void set(const Key<Value>& key, const std::type_identity_t<Value>& value) {
  set(*key.suite(), key, value);
}
template <Serializable Value, typename Change>
  requires std::invocable<Change&, Value&>
void modify(const Key<Value>& key, Change&& change) {
  modify(*key.suite(), key, std::forward<Change>(change));
}

/// Removes the named entries from `suite`, in order.
void reset(const std::vector<std::string>& names, platform::UserDefaults& suite);
/// Removes each key's entry from its own suite, in order.
void reset(const std::vector<std::reference_wrapper<const AnyKey>>& keys);
/// Removes every entry the suite shows; registered defaults stay readable.
void removeAll(platform::UserDefaults& suite);

/// Targets of `migrate`.
enum class Version : int { v5 = 5 };
std::optional<Version> versionFromRaw(int raw);

/// Turns entries stored as JSON text (an older form) into the form a write stores now. Keys whose entry
/// is missing, not text, or no JSON of the key's type are left as they are.
template <Serializable Value>
  requires JSONCodable<Value>
void migrate(const std::vector<std::reference_wrapper<const Key<Value>>>& keys, Version) {
  for (const Key<Value>& key : keys) {
    auto text = key.suite()->stringForKey(key.name());
    if (!text) continue;
    auto value = decodeJSONText<Value>(*text);
    if (!value) continue;
    set(key, *value);
  }
}

}  // namespace Defaults
