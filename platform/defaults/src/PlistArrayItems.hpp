#pragma once
// libplist finds an array's item i by walking the array from its start: code that visits every
// item, or looks items up by index, takes them all in one walk instead.

#include <plist/plist.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace platform::detail {

/// The items of a libplist array node, in order.
inline std::vector<plist_t> plistArrayItems(plist_t array) {
  std::vector<plist_t> items;
  items.reserve(plist_array_get_size(array));
  plist_array_iter iterator = nullptr;
  plist_array_new_iter(array, &iterator);
  const std::unique_ptr<void, decltype(&std::free)> owner(iterator, &std::free);
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, iterator, &item);
    if (!item) break;
    items.push_back(item);
  }
  return items;
}

}  // namespace platform::detail
