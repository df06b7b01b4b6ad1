#pragma once
// Enumerations with a text form: an `EnumTable<E>` specialisation lists every case with
// its text, in declaration order, and these functions read it.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

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

template <typename E>
constexpr auto allCases() {
  std::array<E, EnumTable<E>::cases.size()> all{};
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = EnumTable<E>::cases[i].first;
  return all;
}

}  // namespace TimeSeries
