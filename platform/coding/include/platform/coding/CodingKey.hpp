#pragma once
// Coding keys: where a decoder or encoder stands inside a value. `CodingKey` is the
// type-erased key the containers pass around; a caller's own key type is anything that
// meets `CodingKeyType` (a struct with the four members, or an `enum class` that names
// its cases through `codingKeyNames`). Erasing a key copies its text unless it is a
// name of an enum key, which lives for the whole program.

#include <algorithm>
#include <any>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/coding/TypeName.hpp"
#include "platform/text/CanonicalText.hpp"

namespace platform::coding {

/// A key type written as a struct: its text, its optional integer and the two
/// constructors, each of which may refuse.
template <typename K>
concept StructCodingKey = requires(const K& key, std::string_view text, std::int64_t integer) {
  { key.stringValue() } -> std::convertible_to<std::string_view>;
  { key.intValue() } -> std::convertible_to<std::optional<std::int64_t>>;
  { K::fromString(text) } -> std::same_as<std::optional<K>>;
  { K::fromInt(integer) } -> std::same_as<std::optional<K>>;
};

/// A key type written as an `enum class E` with `std::array<std::string_view, N> codingKeyNames(E)`
/// found by argument-dependent lookup; the names are indexed by the enumerators' values 0…N-1.
template <typename K>
concept EnumCodingKey = std::is_enum_v<K> && requires(K key) {
  { codingKeyNames(key) } -> std::convertible_to<std::span<const std::string_view>>;
};

template <typename K>
concept CodingKeyType = StructCodingKey<K> || EnumCodingKey<K>;

namespace detail {
template <EnumCodingKey K>
bool usesIndex() {
  if constexpr (requires(K key) { { codingKeyUsesIndex(key) } -> std::convertible_to<bool>; })
    return codingKeyUsesIndex(K{});
  else
    return false;
}
template <EnumCodingKey K>
const auto& enumNames() {
  static const auto names = codingKeyNames(K{});
  return names;
}
}  // namespace detail

/// The text of a key of any key type: a view of an enum key's name, or whatever a struct key's
/// `stringValue()` gives (a text it returns by value stays a value, so it cannot dangle).
template <CodingKeyType K>
decltype(auto) keyStringValue(const K& key) {
  if constexpr (EnumCodingKey<K>) {
    const auto& names = detail::enumNames<K>();
    const auto ordinal = static_cast<std::size_t>(key);
    return ordinal < names.size() ? std::string_view(names[ordinal]) : std::string_view();
  } else {
    return key.stringValue();
  }
}

/// The integer of a key of any key type: an enum key has its ordinal only when it opts in.
template <CodingKeyType K>
std::optional<std::int64_t> keyIntValue(const K& key) {
  if constexpr (EnumCodingKey<K>) {
    if (detail::usesIndex<K>()) return static_cast<std::int64_t>(key);
    return std::nullopt;
  } else {
    return key.intValue();
  }
}

template <CodingKeyType K>
std::optional<K> keyFromString(std::string_view text) {
  if constexpr (EnumCodingKey<K>) {
    const auto& names = detail::enumNames<K>();
    // Names compare as people read them: another spelling of "é" names the same key.
    for (std::size_t i = 0; i < names.size(); ++i)
      if (platform::canonicallyEqual(names[i], text)) return static_cast<K>(i);
    return std::nullopt;
  } else {
    return K::fromString(text);
  }
}

template <CodingKeyType K>
std::optional<K> keyFromInt(std::int64_t value) {
  if constexpr (EnumCodingKey<K>) {
    const auto& names = detail::enumNames<K>();
    if (detail::usesIndex<K>())
      if (value >= 0 && static_cast<std::uint64_t>(value) < names.size()) return static_cast<K>(value);
    return std::nullopt;
  } else {
    return K::fromInt(value);
  }
}

/// A key of any key type, with its type's name for descriptions.
class CodingKey {
 public:
  /// An empty key: no text, no integer.
  CodingKey() = default;
  CodingKey(std::string_view typeName, std::string stringValue, std::optional<std::int64_t> intValue)
      : typeName_(typeName), owned_(std::move(stringValue)), intValue_(intValue) {}

  template <CodingKeyType K>
    requires(!std::same_as<K, CodingKey>)
  CodingKey(const K& key)  // NOLINT: erasing is the point
      : typeName_(coding::typeName<K>()), intValue_(keyIntValue(key)) {
    if constexpr (EnumCodingKey<K>) {
      borrowed_ = keyStringValue(key);
      isBorrowed_ = true;
    } else {
      owned_ = std::string(keyStringValue(key));
    }
  }

  std::string_view stringValue() const noexcept { return isBorrowed_ ? borrowed_ : std::string_view(owned_); }
  std::optional<std::int64_t> intValue() const noexcept { return intValue_; }
  /// The name of the key's type, "IndexKey" for example.
  std::string_view typeName() const noexcept { return typeName_; }

  /// `Type(stringValue: "s", intValue: 7)`, or `intValue: nil` without an integer.
  std::string description() const;

  /// Keys are the same when type, text and integer are.
  friend bool operator==(const CodingKey& left, const CodingKey& right) noexcept {
    return left.typeName_ == right.typeName_ && left.stringValue() == right.stringValue() &&
           left.intValue_ == right.intValue_;
  }

 private:
  std::string_view typeName_;
  std::string_view borrowed_;  // static text of an enum key
  std::string owned_;
  std::optional<std::int64_t> intValue_;
  bool isBorrowed_ = false;
};

/// The keys that lead to a value, outermost first. The first four keys are kept inline, so
/// the paths of a table (file, row, field) never allocate.
class CodingPath {
 public:
  static constexpr std::size_t inlineCapacity = 4;

  CodingPath() noexcept {}
  CodingPath(std::initializer_list<CodingKey> keys) {
    for (const CodingKey& key : keys) push_back(key);
  }
  // Only the keys in use are made, copied or moved: paths are copied for every row and field.
  CodingPath(const CodingPath& other) : overflow_(other.overflow_) {
    try {
      for (; size_ < std::min(other.size_, inlineCapacity); ++size_) ::new (raw(size_)) CodingKey(*other.slot(size_));
    } catch (...) {
      clear();
      throw;
    }
    size_ = other.size_;
  }
  CodingPath(CodingPath&& other) noexcept : overflow_(std::move(other.overflow_)) {
    for (; size_ < std::min(other.size_, inlineCapacity); ++size_)
      ::new (raw(size_)) CodingKey(std::move(*other.slot(size_)));
    size_ = other.size_;
    other.clear();
  }
  CodingPath& operator=(const CodingPath& other) {
    if (this != &other) *this = CodingPath(other);
    return *this;
  }
  CodingPath& operator=(CodingPath&& other) noexcept {
    if (this == &other) return *this;
    clear();
    for (; size_ < std::min(other.size_, inlineCapacity); ++size_)
      ::new (raw(size_)) CodingKey(std::move(*other.slot(size_)));
    overflow_ = std::move(other.overflow_);
    size_ = other.size_;
    other.clear();
    return *this;
  }
  ~CodingPath() { clear(); }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const CodingKey& operator[](std::size_t i) const noexcept {
    return i < inlineCapacity ? *slot(i) : overflow_[i - inlineCapacity];
  }
  const CodingKey& front() const noexcept { return (*this)[0]; }
  const CodingKey& back() const noexcept { return (*this)[size_ - 1]; }

  void push_back(CodingKey key) {
    if (size_ < inlineCapacity)
      ::new (raw(size_)) CodingKey(std::move(key));
    else
      overflow_.push_back(std::move(key));
    ++size_;
  }
  void pop_back() noexcept {
    --size_;
    if (size_ < inlineCapacity)
      slot(size_)->~CodingKey();
    else
      overflow_.pop_back();
  }
  void clear() noexcept {
    for (std::size_t i = 0; i < std::min(size_, inlineCapacity); ++i) slot(i)->~CodingKey();
    overflow_.clear();
    size_ = 0;
  }
  /// A copy of this path followed by `key`.
  CodingPath appending(CodingKey key) const {
    CodingPath path = *this;
    path.push_back(std::move(key));
    return path;
  }

  class Iterator {
   public:
    using value_type = CodingKey;
    using difference_type = std::ptrdiff_t;
    Iterator() = default;
    Iterator(const CodingPath* path, std::size_t i) : path_(path), i_(i) {}
    const CodingKey& operator*() const { return (*path_)[i_]; }
    const CodingKey* operator->() const { return &(*path_)[i_]; }
    Iterator& operator++() { ++i_; return *this; }
    Iterator operator++(int) { Iterator old = *this; ++i_; return old; }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.i_ == b.i_; }

   private:
    const CodingPath* path_ = nullptr;
    std::size_t i_ = 0;
  };
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, size_}; }

  /// "[Key(…), Key(…)]", as error user information shows it.
  std::string description() const;

  friend bool operator==(const CodingPath& left, const CodingPath& right) noexcept;

 private:
  void* raw(std::size_t i) noexcept { return storage_ + i * sizeof(CodingKey); }
  CodingKey* slot(std::size_t i) noexcept { return std::launder(static_cast<CodingKey*>(raw(i))); }
  const CodingKey* slot(std::size_t i) const noexcept {
    return std::launder(reinterpret_cast<const CodingKey*>(storage_ + i * sizeof(CodingKey)));
  }

  // The first keys live here, constructed only while in use.
  alignas(CodingKey) std::byte storage_[inlineCapacity * sizeof(CodingKey)];
  std::vector<CodingKey> overflow_;
  std::size_t size_ = 0;
};

/// A key of the user information that callers hand to coders.
struct CodingUserInfoKey {
  std::string rawValue;
  friend bool operator==(const CodingUserInfoKey&, const CodingUserInfoKey&) = default;
};

struct CodingUserInfoKeyHash {
  std::size_t operator()(const CodingUserInfoKey& key) const noexcept { return std::hash<std::string>{}(key.rawValue); }
};

/// Values that callers pass through a coder to the types being coded.
using UserInfo = std::unordered_map<CodingUserInfoKey, std::any, CodingUserInfoKeyHash>;

}  // namespace platform::coding
