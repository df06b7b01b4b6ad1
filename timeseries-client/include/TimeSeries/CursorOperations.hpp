#pragma once
// What can be done with any cursor. The lazy operations return a new cursor at once and
// read nothing until it is pulled; the eager and collect operations pull at once, pass
// every failure on, and leave the cursor after the last element they consumed. Negative
// counts throw std::invalid_argument (`prefix` takes any count); a key seen twice by
// `collectUniqueKeys` throws DuplicateKeyError.

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ranges>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "TimeSeries/Cursor.hpp"
#include "platform/core/Error.hpp"

namespace TimeSeries {

/// `collectUniqueKeys` met a key twice.
class DuplicateKeyError : public platform::Error {
 public:
  explicit DuplicateKeyError(const std::string& keyText)
      : platform::Error("TimeSeries.DuplicateKeyError", 0, "Duplicate values for key: '" + keyText + "'") {}
};

namespace cursor_detail {

/// Up-front reservations are bounded: a count says nothing of how many elements will come.
inline constexpr std::size_t largestReservation = 4096;

inline std::size_t boundedReservation(std::int64_t requested) {
  return static_cast<std::size_t>(std::clamp<std::int64_t>(requested, 0, largestReservation));
}

/// Reserves the bounded room a caller asked for, where the container can reserve at all.
template <typename Container>
void reserveRequested(Container& container, std::optional<std::int64_t> minimumCapacity) {
  if (minimumCapacity)
    if constexpr (requires { container.reserve(std::size_t{}); })
      container.reserve(boundedReservation(*minimumCapacity));
}

template <CursorPointer P>
std::shared_ptr<Cursor<ElementOf<P>>> erased(P pointer) {
  return pointer;
}

inline void refuseNegativeDrop(std::int64_t n) {
  if (n < 0) throw std::invalid_argument("Can't drop a negative number of elements from a cursor");
}

template <typename T>
std::string keyText(const T& key) {
  if constexpr (requires { platform::describe(key); })
    return platform::describe(key);
  else
    return "<" + std::string(typeid(T).name()) + ">";
}

template <typename T>
struct IsCursorPointer : std::bool_constant<CursorPointer<T>> {};

}  // namespace cursor_detail

// Lazy operations.

template <CursorPointer P, typename F, typename E = ElementOf<P>, typename R = std::invoke_result_t<F&, E>>
std::shared_ptr<MapCursor<E, R>> map(P cursor, F transform) {
  return std::make_shared<MapCursor<E, R>>(std::move(cursor), std::move(transform));
}

template <CursorPointer P, typename F>
auto filter(P cursor, F isIncluded) {
  return std::make_shared<FilterCursor<ElementOf<P>>>(std::move(cursor), std::move(isIncluded));
}

/// The transform's present results, unwrapped.
template <CursorPointer P, typename F, typename E = ElementOf<P>, typename Optional = std::invoke_result_t<F&, E>,
          typename R = typename Optional::value_type>
std::shared_ptr<MapCursor<Optional, R>> compactMap(P cursor, F transform) {
  auto mapped = map(std::move(cursor), std::move(transform));
  auto present = filter(std::move(mapped), [](const Optional& value) { return value.has_value(); });
  return map(std::move(present), [](Optional value) { return std::move(*value); });
}

template <CursorPointer P>
auto enumerated(P cursor) {
  return std::make_shared<EnumeratedCursor<ElementOf<P>>>(std::move(cursor));
}

template <CursorPointer P>
auto dropFirst(P cursor, std::int64_t n = 1) {
  return std::make_shared<DropFirstCursor<ElementOf<P>>>(std::move(cursor), n);
}

template <CursorPointer P, typename F>
auto dropWhile(P cursor, F predicate) {
  return std::make_shared<DropWhileCursor<ElementOf<P>>>(std::move(cursor), std::move(predicate));
}

/// At most `maxLength` elements; a negative length gives an empty cursor.
template <CursorPointer P>
auto prefix(P cursor, std::int64_t maxLength) {
  return std::make_shared<PrefixCursor<ElementOf<P>>>(std::move(cursor), maxLength);
}

template <CursorPointer P, typename F>
auto prefixWhile(P cursor, F predicate) {
  return std::make_shared<PrefixWhileCursor<ElementOf<P>>>(std::move(cursor), std::move(predicate));
}

/// The transform gives a cursor or an ordinary sequence for each element; their elements in turn.
template <CursorPointer P, typename F, typename E = ElementOf<P>, typename R = std::invoke_result_t<F&, E>>
auto flatMap(P cursor, F transform) {
  if constexpr (CursorPointer<R>) {
    return std::make_shared<FlattenCursor<R>>(map(std::move(cursor), std::move(transform)));
  } else {
    static_assert(std::ranges::input_range<R>, "flatMap's transform gives a cursor or a sequence");
    using V = std::ranges::range_value_t<R>;
    return std::make_shared<FlattenCursor<std::shared_ptr<Cursor<V>>>>(
        map(std::move(cursor), [transform = std::move(transform)](E element) mutable -> std::shared_ptr<Cursor<V>> {
          return std::make_shared<AnyCursor<V>>(transform(std::move(element)));
        }));
  }
}

/// An ordinary sequence, wrapped in a cursor first.
template <std::ranges::input_range S, typename F>
requires(!CursorPointer<std::remove_cvref_t<S>>) auto flatMap(S&& sequence, F transform) {
  using V = std::ranges::range_value_t<S>;
  return flatMap(std::shared_ptr<Cursor<V>>(std::make_shared<AnyCursor<V>>(std::forward<S>(sequence))),
                 std::move(transform));
}

// Eager operations.

template <CursorPointer P, typename F>
void forEach(const P& cursor, F body) {
  while (auto element = cursor->next()) body(std::move(*element));
}

template <CursorPointer P, typename F>
bool containsWhere(const P& cursor, F predicate) {
  while (auto element = cursor->next())
    if (predicate(*element)) return true;
  return false;
}

template <CursorPointer P, typename V>
bool contains(const P& cursor, const V& value) {
  return containsWhere(cursor, [&](const auto& element) { return element == value; });
}

template <CursorPointer P, typename F>
std::optional<ElementOf<P>> firstWhere(const P& cursor, F predicate) {
  while (auto element = cursor->next())
    if (predicate(*element)) return element;
  return std::nullopt;
}

/// Pulls once: an element it yields is consumed.
template <CursorPointer P>
bool isEmpty(const P& cursor) {
  return !cursor->next().has_value();
}

template <CursorPointer P, typename T, typename F>
T reduce(const P& cursor, T initial, F combine) {
  while (auto element = cursor->next()) initial = combine(std::move(initial), std::move(*element));
  return initial;
}

template <CursorPointer P, typename T, typename F>
T reduceInto(const P& cursor, T initial, F update) {
  while (auto element = cursor->next()) update(initial, std::move(*element));
  return initial;
}

/// Among equal maxima, the first.
template <CursorPointer P, typename F>
std::optional<ElementOf<P>> maxBy(const P& cursor, F areInIncreasingOrder) {
  std::optional<ElementOf<P>> current = cursor->next();
  if (!current) return current;
  while (auto element = cursor->next())
    if (areInIncreasingOrder(*current, *element)) current = std::move(element);
  return current;
}

/// Among equal minima, the first.
template <CursorPointer P, typename F>
std::optional<ElementOf<P>> minBy(const P& cursor, F areInIncreasingOrder) {
  return maxBy(cursor,
               [&](const auto& current, const auto& element) { return areInIncreasingOrder(element, current); });
}

template <CursorPointer P>
std::optional<ElementOf<P>> max(const P& cursor) {
  return maxBy(cursor, [](const auto& a, const auto& b) { return a < b; });
}

template <CursorPointer P>
std::optional<ElementOf<P>> min(const P& cursor) {
  return minBy(cursor, [](const auto& a, const auto& b) { return a < b; });
}

/// Every element but the last n, holding back at most n at a time.
template <CursorPointer P>
std::vector<ElementOf<P>> dropLast(const P& cursor, std::int64_t n = 1) {
  cursor_detail::refuseNegativeDrop(n);
  std::vector<ElementOf<P>> result;
  if (n == 0) {
    while (auto element = cursor->next()) result.push_back(std::move(*element));
    return result;
  }
  const auto limit = static_cast<std::size_t>(n);
  std::vector<ElementOf<P>> ring;
  ring.reserve(cursor_detail::boundedReservation(n));
  std::size_t i = 0;
  while (auto element = cursor->next()) {
    if (ring.size() < limit) {
      ring.push_back(std::move(*element));
    } else {
      result.push_back(std::move(ring[i]));
      ring[i] = std::move(*element);
      i = (i + 1) % limit;
    }
  }
  return result;
}

/// The last n elements (fewer when there are fewer); n = 0 reads nothing.
template <CursorPointer P>
std::vector<ElementOf<P>> suffix(const P& cursor, std::int64_t n) {
  if (n < 0) throw std::invalid_argument("Can't take a suffix of negative length from a cursor");
  std::vector<ElementOf<P>> ring;
  if (n == 0) return ring;
  const auto limit = static_cast<std::size_t>(n);
  ring.reserve(cursor_detail::boundedReservation(n));
  std::size_t i = 0;
  while (auto element = cursor->next()) {
    if (ring.size() < limit) {
      ring.push_back(std::move(*element));
    } else {
      ring[i] = std::move(*element);
      i = (i + 1) % limit;
    }
  }
  std::rotate(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(i), ring.end());
  return ring;
}

/// The texts joined with the separator.
template <CursorPointer P>
requires std::convertible_to<ElementOf<P>, std::string_view> std::string joined(const P& cursor,
                                                                                std::string_view separator = "") {
  std::string result;
  bool first = true;
  while (auto element = cursor->next()) {
    if (!first) result += separator;
    result += std::string_view(*element);
    first = false;
  }
  return result;
}

/// The elements of the cursors, or ordinary sequences, that the cursor yields (texts are joined instead).
template <CursorPointer P>
requires(!std::convertible_to<ElementOf<P>, std::string_view>) auto joined(P cursor) {
  using E = ElementOf<P>;
  if constexpr (CursorPointer<E>)
    return std::make_shared<FlattenCursor<E>>(std::move(cursor));
  else
    return flatMap(std::move(cursor), [](E sequence) { return sequence; });
}

// Collect operations: they read the cursor to its end.

template <typename Container = void, CursorPointer P,
          typename C = std::conditional_t<std::is_void_v<Container>, std::vector<ElementOf<P>>, Container>>
C collectArray(const P& cursor, std::optional<std::int64_t> minimumCapacity = std::nullopt) {
  C result;
  cursor_detail::reserveRequested(result, minimumCapacity);
  while (auto element = cursor->next()) result.push_back(std::move(*element));
  return result;
}

/// An element equal to one already present is dropped: the first stays.
template <typename Set = void, CursorPointer P,
          typename S = std::conditional_t<std::is_void_v<Set>, std::unordered_set<ElementOf<P>>, Set>>
S collectSet(const P& cursor, std::optional<std::int64_t> minimumCapacity = std::nullopt) {
  S result;
  cursor_detail::reserveRequested(result, minimumCapacity);
  while (auto element = cursor->next()) result.insert(std::move(*element));
  return result;
}

/// The elements by key, each key's in cursor order.
template <CursorPointer P, typename F, typename K = std::remove_cvref_t<std::invoke_result_t<F&, const ElementOf<P>&>>>
std::unordered_map<K, std::vector<ElementOf<P>>> collectGroups(
    const P& cursor, F keyForValue, std::optional<std::int64_t> minimumCapacity = std::nullopt) {
  std::unordered_map<K, std::vector<ElementOf<P>>> groups;
  cursor_detail::reserveRequested(groups, minimumCapacity);
  while (auto element = cursor->next()) {
    K key = keyForValue(std::as_const(*element));
    groups[std::move(key)].push_back(std::move(*element));
  }
  return groups;
}

/// The (key, value) pairs as a dictionary; a key seen twice throws DuplicateKeyError.
template <CursorPointer P, typename K = typename ElementOf<P>::first_type,
          typename V = typename ElementOf<P>::second_type>
std::unordered_map<K, V> collectUniqueKeys(const P& cursor,
                                           std::optional<std::int64_t> minimumCapacity = std::nullopt) {
  std::unordered_map<K, V> result;
  cursor_detail::reserveRequested(result, minimumCapacity);
  while (auto element = cursor->next()) {
    auto [position, inserted] = result.try_emplace(std::move(element->first), std::move(element->second));
    if (!inserted) throw DuplicateKeyError(cursor_detail::keyText(position->first));
  }
  return result;
}

}  // namespace TimeSeries
