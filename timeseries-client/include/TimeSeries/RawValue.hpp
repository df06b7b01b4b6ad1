#pragma once
// Enumerations with a text form: an `EnumTable<E>` specialisation lists every case with
// its text, in declaration order, and these functions read it.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/coding/Codable.hpp"

namespace TimeSeries {

template <typename E>
struct EnumTable;  // static constexpr std::array<std::pair<E, std::string_view>, N> cases;

template <typename E>
constexpr std::string_view rawValue(E value) {
  for (const auto& [item, text] : EnumTable<E>::cases)
    if (item == value) return text;
  return {};
}

/// The case whose text is exactly `text`.
template <typename E>
constexpr std::optional<E> fromRaw(std::string_view text) {
  for (const auto& [item, raw] : EnumTable<E>::cases)
    if (raw == text) return item;
  return std::nullopt;
}

/// How such an enumeration codes itself: one text value; a text of no case is data corrupted.
template <typename E>
struct RawValueCoding {
  static E decode(platform::coding::Decoder& decoder) {
    platform::coding::SingleValueDecodingContainer container = decoder.singleValueContainer();
    const std::string text = container.decode<std::string>();
    if (std::optional<E> found = fromRaw<E>(text)) return *found;
    throw platform::coding::DecodingError::dataCorrupted(
        {container.codingPath(),
         "Cannot initialize " + std::string(platform::coding::typeName<E>()) + " from invalid String value " + text,
         nullptr});
  }
  static void encode(const E& value, platform::coding::Encoder& encoder) {
    encoder.singleValueContainer().encode(rawValue(value));
  }
};

template <typename E>
constexpr auto allCases() {
  std::array<E, EnumTable<E>::cases.size()> all{};
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = EnumTable<E>::cases[i].first;
  return all;
}

}  // namespace TimeSeries
