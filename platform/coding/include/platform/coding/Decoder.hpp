#pragma once
// The decoding half of the coding interface. A decoder hands out keyed, unkeyed and
// single-value containers; each is a typed front end (`KeyedDecodingContainer<K>`, …)
// over an abstract base that a coder implements with erased keys. A type decodes
// itself through `decodeValue<T>(decoder)`. Containers must not outlive their decoder.

#include <concepts>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/coding/CodingError.hpp"
#include "platform/coding/CodingKey.hpp"
#include "platform/coding/ContainerBox.hpp"
#include "platform/coding/FunctionRef.hpp"
#include "platform/core/Data.hpp"
#include "platform/core/Date.hpp"
#include "platform/net/URL.hpp"
#include "platform/text/Decimal.hpp"

namespace platform::coding {

class Decoder;

/// How a type that cannot be edited codes itself: `static T decode(Decoder&)` and
/// `static void encode(const T&, Encoder&)`.
template <typename T>
struct Coding;

/// Decodable through a member `static T decode(Decoder&)` or a `Coding<T>` specialisation.
template <typename T>
concept Decodable = requires(Decoder& decoder) {
  { T::decode(decoder) } -> std::same_as<T>;
} || requires(Decoder& decoder) {
  { Coding<T>::decode(decoder) } -> std::same_as<T>;
};

/// T decoded from `decoder` by T's own rule.
template <Decodable T>
T decodeValue(Decoder& decoder) {
  if constexpr (requires { { T::decode(decoder) } -> std::same_as<T>; })
    return T::decode(decoder);
  else
    return Coding<T>::decode(decoder);
}

/// The value types every container reads and writes directly.
template <typename T>
concept PrimitiveValue =
    std::same_as<T, bool> || std::same_as<T, std::string> || std::same_as<T, double> || std::same_as<T, float> ||
    std::same_as<T, std::int8_t> || std::same_as<T, std::int16_t> || std::same_as<T, std::int32_t> ||
    std::same_as<T, std::int64_t> || std::same_as<T, std::uint8_t> || std::same_as<T, std::uint16_t> ||
    std::same_as<T, std::uint32_t> || std::same_as<T, std::uint64_t>;

/// The platform types that coders may treat by strategy instead of their own coding.
template <typename T>
concept PlatformValue = std::same_as<T, platform::Date> || std::same_as<T, platform::Data> ||
                        std::same_as<T, platform::Decimal> || std::same_as<T, platform::URL>;

class KeyedDecodingContainerBase;
class UnkeyedDecodingContainerBase;
class SingleValueDecodingContainerBase;
using KeyedDecodingBox = ContainerBox<KeyedDecodingContainerBase>;
using UnkeyedDecodingBox = ContainerBox<UnkeyedDecodingContainerBase>;
using SingleValueDecodingBox = ContainerBox<SingleValueDecodingContainerBase>;

/// Receives the candidate keys of `allKeys`; answers whether the key type accepted one.
class KeyCollector {
 public:
  virtual bool offer(std::int64_t intValue) = 0;
  virtual bool offer(std::string_view stringValue) = 0;

 protected:
  ~KeyCollector() = default;
};

/// What a coder implements for each container kind, with erased keys. The platform values
/// default to their own coding through `withDecoder`; a coder overrides them to apply its strategies.
class KeyedDecodingContainerBase {
 public:
  virtual ~KeyedDecodingContainerBase() = default;

  virtual const CodingPath& codingPath() const = 0;
  /// Offers every key the container has, in order.
  virtual void allKeys(KeyCollector& collector) = 0;
  virtual bool contains(const CodingKey& key) = 0;
  virtual bool decodeNil(const CodingKey& key) = 0;
  virtual bool decodeBool(const CodingKey& key) = 0;
  virtual std::string decodeString(const CodingKey& key) = 0;
  virtual double decodeDouble(const CodingKey& key) = 0;
  virtual float decodeFloat(const CodingKey& key) = 0;
  virtual std::int8_t decodeInt8(const CodingKey& key) = 0;
  virtual std::int16_t decodeInt16(const CodingKey& key) = 0;
  virtual std::int32_t decodeInt32(const CodingKey& key) = 0;
  virtual std::int64_t decodeInt64(const CodingKey& key) = 0;
  virtual std::uint8_t decodeUInt8(const CodingKey& key) = 0;
  virtual std::uint16_t decodeUInt16(const CodingKey& key) = 0;
  virtual std::uint32_t decodeUInt32(const CodingKey& key) = 0;
  virtual std::uint64_t decodeUInt64(const CodingKey& key) = 0;
  virtual platform::Date decodeDate(const CodingKey& key);
  virtual platform::Data decodeData(const CodingKey& key);
  virtual platform::Decimal decodeDecimal(const CodingKey& key);
  virtual platform::URL decodeURL(const CodingKey& key);
  /// Runs `decode` with the decoder of the value under `key`; any other type decodes itself this way.
  virtual void withDecoder(const CodingKey& key, FunctionRef<void(Decoder&)> decode) = 0;
  /// `withDecoder` for a value of the type named `type`, for coders whose messages name it.
  virtual void withDecoderOfType(const CodingKey& key, std::string_view /*type*/, FunctionRef<void(Decoder&)> decode) {
    withDecoder(key, decode);
  }
  virtual KeyedDecodingBox nestedContainer(const CodingKey& key) = 0;
  virtual UnkeyedDecodingBox nestedUnkeyedContainer(const CodingKey& key) = 0;
  virtual std::unique_ptr<Decoder> superDecoder() = 0;
  virtual std::unique_ptr<Decoder> superDecoder(const CodingKey& key) = 0;
};

/// The reads that unkeyed and single-value containers share: each reads the container's
/// current value (an unkeyed container's next element, which it then passes on success).
class ValueDecodingContainerBase {
 public:
  virtual ~ValueDecodingContainerBase() = default;

  virtual const CodingPath& codingPath() const = 0;
  /// An unkeyed container advances only when it answers true.
  virtual bool decodeNil() = 0;
  virtual bool decodeBool() = 0;
  virtual std::string decodeString() = 0;
  virtual double decodeDouble() = 0;
  virtual float decodeFloat() = 0;
  virtual std::int8_t decodeInt8() = 0;
  virtual std::int16_t decodeInt16() = 0;
  virtual std::int32_t decodeInt32() = 0;
  virtual std::int64_t decodeInt64() = 0;
  virtual std::uint8_t decodeUInt8() = 0;
  virtual std::uint16_t decodeUInt16() = 0;
  virtual std::uint32_t decodeUInt32() = 0;
  virtual std::uint64_t decodeUInt64() = 0;
  virtual platform::Date decodeDate();
  virtual platform::Data decodeData();
  virtual platform::Decimal decodeDecimal();
  virtual platform::URL decodeURL();
  /// Runs `decode` with a decoder at the current value; any other type decodes itself this way.
  virtual void withDecoder(FunctionRef<void(Decoder&)> decode) = 0;
  /// `withDecoder` for a value of the type named `type`, for coders whose messages name it.
  virtual void withDecoderOfType(std::string_view /*type*/, FunctionRef<void(Decoder&)> decode) { withDecoder(decode); }
};

class UnkeyedDecodingContainerBase : public ValueDecodingContainerBase {
 public:
  /// The number of elements, when known.
  virtual std::optional<std::int64_t> count() = 0;
  /// A guess at the number of elements, only for reserving room: nothing the decoding can
  /// observe depends on it, and a coder that cannot guess cheaply gives none.
  virtual std::optional<std::int64_t> estimatedCount() { return std::nullopt; }
  virtual bool isAtEnd() = 0;
  /// The index of the next element.
  virtual std::int64_t currentIndex() const = 0;
  virtual KeyedDecodingBox nestedContainer() = 0;
  virtual UnkeyedDecodingBox nestedUnkeyedContainer() = 0;
  virtual std::unique_ptr<Decoder> superDecoder() = 0;
};

class SingleValueDecodingContainerBase : public ValueDecodingContainerBase {};

namespace detail {

/// A type that decodes itself, decoded on the decoder a container base hands out and given to
/// `keep` as a temporary, which it may move straight to where the value stays.
template <typename T, typename Base, typename Keep, typename... Key>
void decodeOwnValue(Base& base, Keep&& keep, const Key&... key) {
  static_assert(Decodable<T>, "T decodes itself through a member decode or a Coding<T> specialisation");
  bool ran = false;
  base.withDecoderOfType(key..., typeName<T>(), [&keep, &ran](Decoder& decoder) {
    keep(decodeValue<T>(decoder));
    ran = true;
  });
  if (!ran) throw std::logic_error("A decoding container did not run the decoding it was handed.");
}

/// A value of any decodable type from a container base, by identity for the types the
/// base reads directly; `key` is empty except for keyed containers.
template <typename T, typename Base, typename... Key>
T decodeFrom(Base& base, const Key&... key) {
  if constexpr (std::same_as<T, bool>) return base.decodeBool(key...);
  else if constexpr (std::same_as<T, std::string>) return base.decodeString(key...);
  else if constexpr (std::same_as<T, double>) return base.decodeDouble(key...);
  else if constexpr (std::same_as<T, float>) return base.decodeFloat(key...);
  else if constexpr (std::same_as<T, std::int8_t>) return base.decodeInt8(key...);
  else if constexpr (std::same_as<T, std::int16_t>) return base.decodeInt16(key...);
  else if constexpr (std::same_as<T, std::int32_t>) return base.decodeInt32(key...);
  else if constexpr (std::same_as<T, std::int64_t>) return base.decodeInt64(key...);
  else if constexpr (std::same_as<T, std::uint8_t>) return base.decodeUInt8(key...);
  else if constexpr (std::same_as<T, std::uint16_t>) return base.decodeUInt16(key...);
  else if constexpr (std::same_as<T, std::uint32_t>) return base.decodeUInt32(key...);
  else if constexpr (std::same_as<T, std::uint64_t>) return base.decodeUInt64(key...);
  else if constexpr (std::same_as<T, platform::Date>) return base.decodeDate(key...);
  else if constexpr (std::same_as<T, platform::Data>) return base.decodeData(key...);
  else if constexpr (std::same_as<T, platform::Decimal>) return base.decodeDecimal(key...);
  else if constexpr (std::same_as<T, platform::URL>) return base.decodeURL(key...);
  else {
    std::optional<T> result;
    decodeOwnValue<T>(base, [&result](T&& value) { result.emplace(std::move(value)); }, key...);
    return std::move(*result);
  }
}

/// Runs T's own coding on the decoder a container base hands out.
template <typename T, typename Base, typename... Key>
T decodeOwnCoding(Base& base, const Key&... key) {
  std::optional<T> result;
  base.withDecoder(key..., [&result](Decoder& decoder) { result.emplace(Coding<T>::decode(decoder)); });
  if (!result) throw std::logic_error("A decoding container did not run the decoding it was handed.");
  return std::move(*result);
}

}  // namespace detail

class UnkeyedDecodingContainer;

/// A keyed container for the caller's key type K.
template <CodingKeyType K>
class KeyedDecodingContainer {
 public:
  explicit KeyedDecodingContainer(KeyedDecodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  /// The keys K accepts among those the container has.
  std::vector<K> allKeys() {
    struct Collector final : KeyCollector {
      std::vector<K> keys;
      bool offer(std::int64_t intValue) override { return add(keyFromInt<K>(intValue)); }
      bool offer(std::string_view stringValue) override { return add(keyFromString<K>(stringValue)); }
      bool add(std::optional<K> key) {
        if (!key) return false;
        keys.push_back(std::move(*key));
        return true;
      }
    } collector;
    base_->allKeys(collector);
    return std::move(collector.keys);
  }
  bool contains(const K& key) { return base_->contains(CodingKey(key)); }
  bool decodeNil(const K& key) { return base_->decodeNil(CodingKey(key)); }
  template <typename T>
  T decode(const K& key) {
    return detail::decodeFrom<T>(*base_, CodingKey(key));
  }
  /// Absent when the key is missing or its value is nil.
  template <typename T>
  std::optional<T> decodeIfPresent(const K& key) {
    const CodingKey erased(key);
    if (!base_->contains(erased) || base_->decodeNil(erased)) return std::nullopt;
    return detail::decodeFrom<T>(*base_, erased);
  }
  template <CodingKeyType N>
  KeyedDecodingContainer<N> nestedContainer(const K& key) {
    return KeyedDecodingContainer<N>(base_->nestedContainer(CodingKey(key)));
  }
  UnkeyedDecodingContainer nestedUnkeyedContainer(const K& key);
  std::unique_ptr<Decoder> superDecoder() { return base_->superDecoder(); }
  std::unique_ptr<Decoder> superDecoder(const K& key) { return base_->superDecoder(CodingKey(key)); }

  KeyedDecodingContainerBase& base() { return *base_; }

 private:
  KeyedDecodingBox base_;
};

/// A sequence of values, read in order.
class UnkeyedDecodingContainer {
 public:
  explicit UnkeyedDecodingContainer(UnkeyedDecodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  std::optional<std::int64_t> count() { return base_->count(); }
  std::optional<std::int64_t> estimatedCount() { return base_->estimatedCount(); }
  bool isAtEnd() { return base_->isAtEnd(); }
  std::int64_t currentIndex() const { return base_->currentIndex(); }
  bool decodeNil() { return base_->decodeNil(); }
  template <typename T>
  T decode() {
    return detail::decodeFrom<T>(*base_);
  }
  /// Absent at the end, or when the next element is nil (which is then passed).
  template <typename T>
  std::optional<T> decodeIfPresent() {
    if (base_->isAtEnd() || base_->decodeNil()) return std::nullopt;
    return detail::decodeFrom<T>(*base_);
  }
  template <CodingKeyType N>
  KeyedDecodingContainer<N> nestedContainer() {
    return KeyedDecodingContainer<N>(base_->nestedContainer());
  }
  UnkeyedDecodingContainer nestedUnkeyedContainer() { return UnkeyedDecodingContainer(base_->nestedUnkeyedContainer()); }
  std::unique_ptr<Decoder> superDecoder() { return base_->superDecoder(); }

  UnkeyedDecodingContainerBase& base() { return *base_; }

 private:
  UnkeyedDecodingBox base_;
};

template <CodingKeyType K>
UnkeyedDecodingContainer KeyedDecodingContainer<K>::nestedUnkeyedContainer(const K& key) {
  return UnkeyedDecodingContainer(base_->nestedUnkeyedContainer(CodingKey(key)));
}

/// One value.
class SingleValueDecodingContainer {
 public:
  explicit SingleValueDecodingContainer(SingleValueDecodingBox base) : base_(std::move(base)) {}

  const CodingPath& codingPath() const { return base_->codingPath(); }
  bool decodeNil() { return base_->decodeNil(); }
  template <typename T>
  T decode() {
    return detail::decodeFrom<T>(*base_);
  }

  SingleValueDecodingContainerBase& base() { return *base_; }

 private:
  SingleValueDecodingBox base_;
};

/// What a decodable type decodes itself from.
class Decoder {
 public:
  virtual ~Decoder() = default;

  virtual const CodingPath& codingPath() const = 0;
  virtual const UserInfo& userInfo() const = 0;

  template <CodingKeyType K>
  KeyedDecodingContainer<K> container() {
    return KeyedDecodingContainer<K>(makeKeyedContainer());
  }
  UnkeyedDecodingContainer unkeyedContainer() { return UnkeyedDecodingContainer(makeUnkeyedContainer()); }
  SingleValueDecodingContainer singleValueContainer() {
    return SingleValueDecodingContainer(makeSingleValueContainer());
  }

  // What a coder implements; each may fail.
  virtual KeyedDecodingBox makeKeyedContainer() = 0;
  virtual UnkeyedDecodingBox makeUnkeyedContainer() = 0;
  virtual SingleValueDecodingBox makeSingleValueContainer() = 0;
};

}  // namespace platform::coding
