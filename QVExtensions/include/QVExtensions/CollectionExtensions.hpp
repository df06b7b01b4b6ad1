#pragma once
// Index tests on sized ranges and dropping absent values from a sequence of optionals.

#include <concepts>
#include <cstdint>
#include <optional>
#include <ranges>
#include <vector>

namespace QVExtensions {

/// A value that can be seen as an optional; optionals themselves are.
template <typename T>
concept OptionalConvertible = requires(const T& value) {
  typename T::value_type;
  { value.has_value() } -> std::convertible_to<bool>;
  { *value } -> std::convertible_to<const typename T::value_type&>;
};

template <std::ranges::sized_range R>
bool isValidIndex(const R& range, std::int64_t i) {
  return i >= 0 && i < static_cast<std::int64_t>(std::ranges::size(range));
}

/// With `orBeyond`, any index from the last on counts.
template <std::ranges::sized_range R>
bool isLastIndex(const R& range, std::int64_t i, bool orBeyond = false) {
  // i >= count - 1 rather than i + 1 >= count: the largest index must not overflow.
  const auto last = static_cast<std::int64_t>(std::ranges::size(range)) - 1;
  return orBeyond ? i >= last : i == last;
}

/// With `orBefore`, any index before the first counts too.
template <std::ranges::sized_range R>
bool isFirstIndex(const R& /*range*/, std::int64_t i, bool orBefore = false) {
  return orBefore ? i < 1 : i == 0;
}

/// The present values, in order.
template <std::ranges::input_range R>
  requires OptionalConvertible<std::ranges::range_value_t<R>>
auto compacted(const R& range) {
  std::vector<typename std::ranges::range_value_t<R>::value_type> values;
  for (const auto& element : range)
    if (element.has_value()) values.push_back(*element);
  return values;
}

}  // namespace QVExtensions
