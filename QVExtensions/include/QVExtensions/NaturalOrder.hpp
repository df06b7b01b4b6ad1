#pragma once
// The order in which names are listed: the locale's collation with numbers compared
// by value ("file 9" before "file 10"), letter case and character width ignored at
// first, and later levels (case, digit-run lengths, code units) separating names
// that the earlier ones call equal, so that any two different names are ordered.

#include <algorithm>
#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text/Locale.hpp"

namespace QVExtensions {

/// Whether `a` sorts before `b` in the current locale. A strict weak ordering.
bool naturalOrderLess(std::string_view a, std::string_view b);

/// A precomputed form of a text whose byte order is the natural order, for sorting
/// many texts without comparing each pair through the collator again.
class NaturalOrderKey {
 public:
  NaturalOrderKey() = default;
  /// The key in the current locale.
  explicit NaturalOrderKey(std::string_view text);
  NaturalOrderKey(std::string_view text, const platform::Locale& locale);

  const std::string& bytes() const noexcept { return bytes_; }
  friend bool operator==(const NaturalOrderKey&, const NaturalOrderKey&) = default;
  friend std::strong_ordering operator<=>(const NaturalOrderKey& a, const NaturalOrderKey& b) {
    return a.bytes_.compare(b.bytes_) <=> 0;
  }

 private:
  std::string bytes_;
};

/// Sorts in increasing natural order of `project(item)`, keeping the order of items whose texts are equal.
template <typename T, typename Projection>
void sortByNaturalOrder(std::vector<T>& items, Projection project) {
  const platform::Locale locale = platform::Locale::current();
  std::vector<NaturalOrderKey> keys;
  keys.reserve(items.size());
  for (const T& item : items) keys.emplace_back(std::invoke(project, item), locale);
  // Sorting positions instead of keys moves no strings; the position breaks ties, which keeps
  // the sort stable.
  std::vector<std::size_t> order(items.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const auto c = keys[a] <=> keys[b];
    return c != 0 ? c < 0 : a < b;
  });
  std::vector<T> sorted;
  sorted.reserve(items.size());
  for (std::size_t i : order) sorted.push_back(std::move(items[i]));
  items = std::move(sorted);
}

/// Sorts texts in increasing natural order.
void sortByNaturalOrder(std::vector<std::string>& texts);

/// The positions 0..<count in increasing natural order of `text(position)`, one position per
/// text: of canonically equal texts, only the lowest position is kept. Large lists are keyed
/// on several threads, so `text` must be safe to call from any thread.
std::vector<std::size_t> naturallySortedUniquePositions(std::size_t count,
                                                        const std::function<std::string_view(std::size_t)>& text);
/// As above, with `prepare(position)` called once for each position, on the thread that keys it,
/// just before its text is first asked for: work that makes the texts shares their pass.
std::vector<std::size_t> naturallySortedUniquePositions(std::size_t count,
                                                        const std::function<std::string_view(std::size_t)>& text,
                                                        const std::function<void(std::size_t)>& prepare);

/// The items in increasing natural order of `project(item)`, the first of canonically equal ones kept.
template <typename T, typename Projection>
std::vector<T> naturallySortedUnique(std::vector<T> items, Projection project) {
  const std::vector<std::size_t> order = naturallySortedUniquePositions(
      items.size(), [&](std::size_t i) -> std::string_view { return std::invoke(project, items[i]); });
  std::vector<T> unique;
  unique.reserve(order.size());
  for (std::size_t i : order) unique.push_back(std::move(items[i]));
  return unique;
}

/// Texts in increasing natural order, one of each canonically equal group (the first).
std::vector<std::string> naturallySortedUnique(std::vector<std::string> texts);

}  // namespace QVExtensions
