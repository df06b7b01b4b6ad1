#include "platform/text/CharacterSet.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/core/Unicode.hpp"

namespace platform {

CharacterSet::CharacterSet(std::initializer_list<char32_t> scalars) {
  for (char32_t scalar : scalars) insert(scalar);
}

CharacterSet CharacterSet::fromScalars(std::u32string_view scalars) {
  CharacterSet set;
  for (char32_t scalar : scalars) set.insert(scalar);
  return set;
}

const CharacterSet& CharacterSet::whitespaces() {
  static const CharacterSet set = [] {
    CharacterSet result{U'\t', U' ', 0x00A0, 0x1680, 0x202F, 0x205F, 0x3000};
    result.insert(0x2000, 0x200A);
    return result;
  }();
  return set;
}

const CharacterSet& CharacterSet::whitespacesAndNewlines() {
  static const CharacterSet set = [] {
    CharacterSet result = whitespaces();
    result.insert(0x0A, 0x0D);
    result.insert(0x85);
    result.insert(0x2028, 0x2029);
    return result;
  }();
  return set;
}

void CharacterSet::insert(char32_t first, char32_t last) {
  if (last < first) return;
  for (; first < 128 && first <= last; ++first) ascii_[first >> 6] |= std::uint64_t{1} << (first & 63);
  if (first > last) return;
  ranges_.emplace_back(first, last);
  std::sort(ranges_.begin(), ranges_.end());
  std::vector<std::pair<char32_t, char32_t>> merged;
  for (const auto& range : ranges_) {
    if (!merged.empty() && range.first <= merged.back().second + 1)
      merged.back().second = std::max(merged.back().second, range.second);
    else
      merged.push_back(range);
  }
  ranges_ = std::move(merged);
}

void CharacterSet::remove(char32_t scalar) {
  if (scalar < 128) {
    ascii_[scalar >> 6] &= ~(std::uint64_t{1} << (scalar & 63));
    return;
  }
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), scalar,
                             [](char32_t value, const auto& range) { return value < range.first; });
  if (it == ranges_.begin() || scalar > std::prev(it)->second) return;
  auto& range = *std::prev(it);
  if (range.first == range.second) {
    ranges_.erase(std::prev(it));
  } else if (scalar == range.first) {
    ++range.first;
  } else if (scalar == range.second) {
    --range.second;
  } else {
    const char32_t last = range.second;
    range.second = scalar - 1;
    ranges_.insert(it, {scalar + 1, last});
  }
}

bool CharacterSet::containsNonASCII(char32_t scalar) const noexcept {
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), scalar,
                             [](char32_t value, const auto& range) { return value < range.first; });
  return it != ranges_.begin() && scalar <= std::prev(it)->second;
}

std::vector<std::pair<char32_t, char32_t>> CharacterSet::ranges() const {
  std::vector<std::pair<char32_t, char32_t>> result;
  for (char32_t c = 0; c < 128; ++c) {
    if (!contains(c)) continue;
    if (!result.empty() && result.back().second + 1 == c)
      result.back().second = c;
    else
      result.emplace_back(c, c);
  }
  for (const auto& range : ranges_) {
    if (!result.empty() && result.back().second + 1 == range.first)
      result.back().second = range.second;
    else
      result.push_back(range);
  }
  return result;
}

std::string CharacterSet::description() const {
  std::string text = "[";
  bool first = true;
  auto put = [&](char32_t c) {
    if (!first) text += ", ";
    first = false;
    char buffer[16];
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      std::snprintf(buffer, sizeof buffer, "\"\\u{%X}\"", static_cast<unsigned>(c));
      text += buffer;
    } else {
      text += '"';
      appendUTF8(text, c);
      text += '"';
    }
  };
  for (const auto& [low, high] : ranges()) {
    if (high - low > 16) {  // long ranges read as ranges
      put(low);
      text += "...";
      first = true;
      put(high);
      continue;
    }
    for (char32_t c = low; c <= high; ++c) put(c);
  }
  return text + "]";
}

}  // namespace platform
