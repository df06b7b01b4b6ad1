#pragma once
// Index tests on sized ranges, safe indexing, ordering by a reference list, the smallest
// and largest element, and dropping absent values from a sequence of optionals.

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <optional>
#include <ranges>
#include <utility>
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

/// The element at `i`, or absent when `i` is negative or not below the count.
template <typename T>
std::optional<T> safeElement(const std::vector<T>& list, std::int64_t i) {
  if (!isValidIndex(list, i)) return std::nullopt;
  return list[static_cast<std::size_t>(i)];
}

/// Orders `list` by where each element first occurs in `order`. Elements that do not occur
/// go before all others with `missingFirst`, else after all others, even when `order` is
/// longer than `list`; elements of one position keep their order.
template <std::equality_comparable T>
void sortByOrder(std::vector<T>& list, const std::vector<T>& order, bool missingFirst = false) {
  // Present elements take 1...order.size(), so the missing ones sort strictly apart.
  const std::size_t missing = missingFirst ? 0 : order.size() + 1;
  auto position = [&](const T& element) {
    const auto found = std::find(order.begin(), order.end(), element);
    return found == order.end() ? missing : static_cast<std::size_t>(found - order.begin()) + 1;
  };
  std::vector<std::pair<std::size_t, T>> keyed;
  keyed.reserve(list.size());
  for (T& element : list) keyed.emplace_back(position(element), std::move(element));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < keyed.size(); ++i) list[i] = std::move(keyed[i].second);
}

template <std::equality_comparable T>
std::vector<T> sortedByOrder(std::vector<T> list, const std::vector<T>& order, bool missingFirst = false) {
  sortByOrder(list, order, missingFirst);
  return list;
}

template <typename T>
struct MinMax {
  T min;
  T max;
  friend bool operator==(const MinMax&, const MinMax&) = default;
};

/// The smallest and largest element by the elements' own ordering; absent for an empty list.
template <std::totally_ordered T>
std::optional<MinMax<T>> minMax(const std::vector<T>& list) {
  if (list.empty()) return std::nullopt;
  const auto [smallest, largest] = std::minmax_element(list.begin(), list.end());
  return MinMax<T>{*smallest, *largest};
}

}  // namespace QVExtensions
