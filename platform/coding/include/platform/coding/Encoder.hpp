#pragma once
// The encoding half of the coding interface. An encoder hands out keyed, unkeyed and
// single-value containers; each is a typed front end over an abstract base that a coder
// implements with erased keys. A container request never fails: a coder that cannot
// grant one hands out a container that fails at its first write. A value encodes itself
// through `encodeValue(value, encoder)`. Containers must not outlive their encoder.

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <ranges>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/coding/CodingError.hpp"
#include "platform/coding/CodingKey.hpp"
#include "platform/coding/ContainerBox.hpp"
#include "platform/coding/FunctionRef.hpp"
#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"
#include "platform/net/URL.hpp"
#include "platform/text/Decimal.hpp"

namespace platform::coding {

class Encoder;

template <typename T>
struct Coding;

/// Encodable through a member `void encode(Encoder&) const` or a `Coding<T>` specialisation.
template <typename T>
concept Encodable = requires(const T& value, Encoder& encoder) {
  { value.encode(encoder) } -> std::same_as<void>;
} || requires(const T& value, Encoder& encoder) {
  { Coding<T>::encode(value, encoder) } -> std::same_as<void>;
};

/// `value` encoded into `encoder` by its own rule.
template <Encodable T>
void encodeValue(const T& value, Encoder& encoder) {
  if constexpr (requires { { value.encode(encoder) } -> std::same_as<void>; })
    value.encode(encoder);
  else
    Coding<T>::encode(value, encoder);
}

class KeyedEncodingContainerBase;
class UnkeyedEncodingContainerBase;
class ValueEncodingContainerBase;
class SingleValueEncodingContainerBase;
using KeyedEncodingBox = ContainerBox<KeyedEncodingContainerBase>;
using UnkeyedEncodingBox = ContainerBox<UnkeyedEncodingContainerBase>;
using SingleValueEncodingBox = ContainerBox<SingleValueEncodingContainerBase>;

/// A present value handed to a keyed `encodeIfPresent`, erased: it writes itself under a key
/// or into a single-value container.
class PresentValue {
 public:
  virtual void encode(KeyedEncodingContainerBase& container, const CodingKey& key) const = 0;
  virtual void encode(ValueEncodingContainerBase& container) const = 0;

 protected:
  ~PresentValue() = default;
};

/// What a coder implements for each container kind, with erased keys. The platform values
/// default to their own coding through `withEncoder`; a coder overrides them to apply its strategies.
class KeyedEncodingContainerBase {
 public:
  virtual ~KeyedEncodingContainerBase() = default;

  virtual const CodingPath& codingPath() const = 0;
  virtual void encodeNil(const CodingKey& key) = 0;
  virtual void encodeBool(const CodingKey& key, bool value) = 0;
  virtual void encodeString(const CodingKey& key, std::string_view value) = 0;
  virtual void encodeDouble(const CodingKey& key, double value) = 0;
  virtual void encodeFloat(const CodingKey& key, float value) = 0;
  virtual void encodeInt8(const CodingKey& key, std::int8_t value) = 0;
  virtual void encodeInt16(const CodingKey& key, std::int16_t value) = 0;
  virtual void encodeInt32(const CodingKey& key, std::int32_t value) = 0;
  virtual void encodeInt64(const CodingKey& key, std::int64_t value) = 0;
  virtual void encodeUInt8(const CodingKey& key, std::uint8_t value) = 0;
  virtual void encodeUInt16(const CodingKey& key, std::uint16_t value) = 0;
  virtual void encodeUInt32(const CodingKey& key, std::uint32_t value) = 0;
  virtual void encodeUInt64(const CodingKey& key, std::uint64_t value) = 0;
  virtual void encodeDate(const CodingKey& key, const platform::Date& value);
  virtual void encodeData(const CodingKey& key, const platform::Data& value);
  virtual void encodeDecimal(const CodingKey& key, const platform::Decimal& value);
  virtual void encodeURL(const CodingKey& key, const platform::URL& value);
  /// Runs `encode` with the encoder of the value under `key`; any other type encodes itself this way.
  virtual void withEncoder(const CodingKey& key, FunctionRef<void(Encoder&)> encode) = 0;
  /// `value` is null when absent. By default an absent value writes nothing and a present
  /// one is encoded under the key.
  virtual void encodeIfPresent(const CodingKey& key, const PresentValue* value);
  virtual KeyedEncodingBox nestedContainer(const CodingKey& key) = 0;
  virtual UnkeyedEncodingBox nestedUnkeyedContainer(const CodingKey& key) = 0;
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
  virtual std::unique_ptr<Encoder> superEncoder(const CodingKey& key) = 0;
};

/// The writes that unkeyed and single-value containers share: each writes the container's
/// value (an unkeyed container's next element, passing it on success).
class ValueEncodingContainerBase {
 public:
  virtual ~ValueEncodingContainerBase() = default;

  virtual const CodingPath& codingPath() const = 0;
  virtual void encodeNil() = 0;
  virtual void encodeBool(bool value) = 0;
  virtual void encodeString(std::string_view value) = 0;
  virtual void encodeDouble(double value) = 0;
  virtual void encodeFloat(float value) = 0;
  virtual void encodeInt8(std::int8_t value) = 0;
  virtual void encodeInt16(std::int16_t value) = 0;
  virtual void encodeInt32(std::int32_t value) = 0;
  virtual void encodeInt64(std::int64_t value) = 0;
  virtual void encodeUInt8(std::uint8_t value) = 0;
  virtual void encodeUInt16(std::uint16_t value) = 0;
  virtual void encodeUInt32(std::uint32_t value) = 0;
  virtual void encodeUInt64(std::uint64_t value) = 0;
  virtual void encodeDate(const platform::Date& value);
  virtual void encodeData(const platform::Data& value);
  virtual void encodeDecimal(const platform::Decimal& value);
  virtual void encodeURL(const platform::URL& value);
  /// Runs `encode` with an encoder at the value; any other type encodes itself this way.
  virtual void withEncoder(FunctionRef<void(Encoder&)> encode) = 0;
};

class UnkeyedEncodingContainerBase : public ValueEncodingContainerBase {
 public:
  /// The number of elements encoded so far.
  virtual std::int64_t count() const = 0;
  /// Encodes a sequence: `encodeElements` encodes each element through this container. By
  /// default it simply runs.
  virtual void encodeContents(FunctionRef<void(UnkeyedEncodingContainerBase&)> encodeElements);
  virtual KeyedEncodingBox nestedContainer() = 0;
  virtual UnkeyedEncodingBox nestedUnkeyedContainer() = 0;
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
};

class SingleValueEncodingContainerBase : public ValueEncodingContainerBase {};

namespace detail {

/// Strings of any spelling are encoded as text.
template <typename T>
concept TextValue = std::convertible_to<const T&, std::string_view> && !std::same_as<T, std::nullptr_t>;

/// `value` written through a container base, by identity for the types the base writes
/// directly; `key` is empty except for keyed containers.
template <typename T, typename Base, typename... Key>
void encodeInto(Base& base, const T& value, const Key&... key) {
  if constexpr (std::same_as<T, bool>) base.encodeBool(key..., value);
  else if constexpr (TextValue<T>) base.encodeString(key..., std::string_view(value));
  else if constexpr (std::same_as<T, double>) base.encodeDouble(key..., value);
  else if constexpr (std::same_as<T, float>) base.encodeFloat(key..., value);
  else if constexpr (std::same_as<T, std::int8_t>) base.encodeInt8(key..., value);
  else if constexpr (std::same_as<T, std::int16_t>) base.encodeInt16(key..., value);
  else if constexpr (std::same_as<T, std::int32_t>) base.encodeInt32(key..., value);
  else if constexpr (std::same_as<T, std::int64_t>) base.encodeInt64(key..., value);
  else if constexpr (std::same_as<T, std::uint8_t>) base.encodeUInt8(key..., value);
  else if constexpr (std::same_as<T, std::uint16_t>) base.encodeUInt16(key..., value);
  else if constexpr (std::same_as<T, std::uint32_t>) base.encodeUInt32(key..., value);
  else if constexpr (std::same_as<T, std::uint64_t>) base.encodeUInt64(key..., value);
  else if constexpr (std::same_as<T, platform::Date>) base.encodeDate(key..., value);
  else if constexpr (std::same_as<T, platform::Data>) base.encodeData(key..., value);
  else if constexpr (std::same_as<T, platform::Decimal>) base.encodeDecimal(key..., value);
  else if constexpr (std::same_as<T, platform::URL>) base.encodeURL(key..., value);
  else {
    static_assert(Encodable<T>, "T encodes itself through a member encode or a Coding<T> specialisation");
    base.withEncoder(key..., [&value](Encoder& encoder) { encodeValue(value, encoder); });
  }
}

/// Runs T's own coding on the encoder a container base hands out.
template <typename T, typename Base, typename... Key>
void encodeOwnCoding(Base& base, const T& value, const Key&... key) {
  base.withEncoder(key..., [&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
}

template <typename T>
class PresentValueOf final : public PresentValue {
 public:
  explicit PresentValueOf(const T& value) : value_(value) {}
  void encode(KeyedEncodingContainerBase& container, const CodingKey& key) const override {
    encodeInto(container, value_, key);
  }
  void encode(ValueEncodingContainerBase& container) const override { encodeInto(container, value_); }

 private:
  const T& value_;
};

}  // namespace detail

class UnkeyedEncodingContainer;

/// A keyed container for the caller's key type K.
template <CodingKeyType K>
class KeyedEncodingContainer {
 public:
  explicit KeyedEncodingContainer(KeyedEncodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  void encodeNil(const K& key) { base_->encodeNil(CodingKey(key)); }
  template <typename T>
  void encode(const T& value, const K& key) {
    detail::encodeInto(*base_, value, CodingKey(key));
  }
  /// The same as `encode`.
  template <typename T>
  void encodeConditional(const T& value, const K& key) {
    encode(value, key);
  }
  template <typename T>
  void encodeIfPresent(const std::optional<T>& value, const K& key) {
    const CodingKey erased(key);
    if (!value) return base_->encodeIfPresent(erased, nullptr);
    const detail::PresentValueOf<T> present(*value);
    base_->encodeIfPresent(erased, &present);
  }
  template <CodingKeyType N>
  KeyedEncodingContainer<N> nestedContainer(const K& key) {
    return KeyedEncodingContainer<N>(base_->nestedContainer(CodingKey(key)));
  }
  UnkeyedEncodingContainer nestedUnkeyedContainer(const K& key);
  std::unique_ptr<Encoder> superEncoder() { return base_->superEncoder(); }
  std::unique_ptr<Encoder> superEncoder(const K& key) { return base_->superEncoder(CodingKey(key)); }

  KeyedEncodingContainerBase& base() { return *base_; }

 private:
  KeyedEncodingBox base_;
};

/// A sequence of values, written in order.
class UnkeyedEncodingContainer {
 public:
  explicit UnkeyedEncodingContainer(UnkeyedEncodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  std::int64_t count() const { return base_->count(); }
  void encodeNil() { base_->encodeNil(); }
  template <typename T>
  void encode(const T& value) {
    detail::encodeInto(*base_, value);
  }
  /// The same as `encode`.
  template <typename T>
  void encodeConditional(const T& value) {
    encode(value);
  }
  /// Each element in order, stopping at the first failure.
  template <std::ranges::input_range R>
  void encodeContentsOf(R&& values) {
    base_->encodeContents([&values](UnkeyedEncodingContainerBase& base) {
      // Read as the element type, so that proxies (a vector of bool) encode as their value.
      for (auto&& value : values) {
        const std::ranges::range_value_t<R>& element = value;
        detail::encodeInto(base, element);
      }
    });
  }
  template <CodingKeyType N>
  KeyedEncodingContainer<N> nestedContainer() {
    return KeyedEncodingContainer<N>(base_->nestedContainer());
  }
  UnkeyedEncodingContainer nestedUnkeyedContainer() { return UnkeyedEncodingContainer(base_->nestedUnkeyedContainer()); }
  std::unique_ptr<Encoder> superEncoder() { return base_->superEncoder(); }

  UnkeyedEncodingContainerBase& base() { return *base_; }

 private:
  UnkeyedEncodingBox base_;
};

template <CodingKeyType K>
UnkeyedEncodingContainer KeyedEncodingContainer<K>::nestedUnkeyedContainer(const K& key) {
  return UnkeyedEncodingContainer(base_->nestedUnkeyedContainer(CodingKey(key)));
}

/// One value.
class SingleValueEncodingContainer {
 public:
  explicit SingleValueEncodingContainer(SingleValueEncodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  void encodeNil() { base_->encodeNil(); }
  template <typename T>
  void encode(const T& value) {
    detail::encodeInto(*base_, value);
  }

  SingleValueEncodingContainerBase& base() { return *base_; }

 private:
  SingleValueEncodingBox base_;
};

/// What an encodable value encodes itself into.
class Encoder {
 public:
  virtual ~Encoder() = default;

  virtual const CodingPath& codingPath() const = 0;
  virtual const UserInfo& userInfo() const = 0;

  template <CodingKeyType K>
  KeyedEncodingContainer<K> container() {
    return KeyedEncodingContainer<K>(makeKeyedContainer());
  }
  UnkeyedEncodingContainer unkeyedContainer() { return UnkeyedEncodingContainer(makeUnkeyedContainer()); }
  SingleValueEncodingContainer singleValueContainer() {
    return SingleValueEncodingContainer(makeSingleValueContainer());
  }

  // What a coder implements.
  virtual KeyedEncodingBox makeKeyedContainer() = 0;
  virtual UnkeyedEncodingBox makeUnkeyedContainer() = 0;
  virtual SingleValueEncodingBox makeSingleValueContainer() = 0;
};

}  // namespace platform::coding
