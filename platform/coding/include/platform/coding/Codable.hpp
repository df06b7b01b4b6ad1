#pragma once
// How the standard and platform types code themselves, and the `Codable` concept. A
// type of the caller's codes itself with `static T decode(Decoder&)` and
// `void encode(Encoder&) const`, or through a `Coding<T>` specialisation when it cannot
// be edited.

#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/coding/Decoder.hpp"
#include "platform/coding/Encoder.hpp"

namespace platform::coding {

template <typename T>
concept Codable = Decodable<T> && Encodable<T>;

/// The primitives are one value each.
template <PrimitiveValue T>
struct Coding<T> {
  static T decode(Decoder& decoder) { return decoder.singleValueContainer().decode<T>(); }
  static void encode(const T& value, Encoder& encoder) { encoder.singleValueContainer().encode(value); }
};

namespace detail {

/// Room for a container's guess at its count when that is more than `values` holds, since
/// growing by copying touches every element again. A guess that cannot be met is ignored.
template <typename T>
void reserveForEstimate(std::vector<T>& values, std::optional<std::int64_t> estimate) {
  if (!estimate || *estimate <= 0) return;
  const auto wanted = static_cast<std::uint64_t>(*estimate);
  if (wanted <= values.size() || wanted > values.max_size()) return;
  try {
    values.reserve(static_cast<std::size_t>(wanted));
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace detail

/// A vector is a sequence of its elements, read until the end.
template <typename T>
struct Coding<std::vector<T>> {
  static std::vector<T> decode(Decoder& decoder)
    requires Decodable<T> || PrimitiveValue<T>
  {
    UnkeyedDecodingContainer container = decoder.unkeyedContainer();
    std::vector<T> values;
    while (!container.isAtEnd()) {
      if (values.size() == values.capacity()) detail::reserveForEstimate(values, container.estimatedCount());
      if constexpr (PrimitiveValue<T> || PlatformValue<T>)
        values.push_back(container.decode<T>());
      else
        detail::decodeOwnValue<T>(container.base(), [&values](T&& value) { values.push_back(std::move(value)); });
    }
    return values;
  }
  static void encode(const std::vector<T>& values, Encoder& encoder)
    requires Encodable<T> || PrimitiveValue<T>
  {
    UnkeyedEncodingContainer container = encoder.unkeyedContainer();
    for (const T& value : values) container.encode(value);
  }
};

/// An optional is nil or its value.
template <typename T>
struct Coding<std::optional<T>> {
  static std::optional<T> decode(Decoder& decoder) {
    SingleValueDecodingContainer container = decoder.singleValueContainer();
    if (container.decodeNil()) return std::nullopt;
    return container.decode<T>();
  }
  static void encode(const std::optional<T>& value, Encoder& encoder) {
    SingleValueEncodingContainer container = encoder.singleValueContainer();
    if (value)
      container.encode(*value);
    else
      container.encodeNil();
  }
};

/// A date is its seconds since 2001-01-01 00:00:00 UTC.
template <>
struct Coding<platform::Date> {
  static platform::Date decode(Decoder& decoder);
  static void encode(const platform::Date& value, Encoder& encoder);
};

/// A data blob is a sequence of bytes.
template <>
struct Coding<platform::Data> {
  static platform::Data decode(Decoder& decoder);
  static void encode(const platform::Data& value, Encoder& encoder);
};

/// A decimal number is its plain text, without a locale.
template <>
struct Coding<platform::Decimal> {
  static platform::Decimal decode(Decoder& decoder);
  static void encode(const platform::Decimal& value, Encoder& encoder);
};

/// A URL is its text.
template <>
struct Coding<platform::URL> {
  static platform::URL decode(Decoder& decoder);
  static void encode(const platform::URL& value, Encoder& encoder);
};

}  // namespace platform::coding
