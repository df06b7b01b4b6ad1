#pragma once
// Damage for the random texts of differential tests: one time in four, one or two characters
// of `pool` replace, join or cut the text at random places.

#include <random>
#include <string>
#include <string_view>

namespace platform::testing {

inline void damageSometimes(std::string& text, std::mt19937_64& random, std::string_view pool) {
  auto pick = [&random](int lowest, int highest) { return std::uniform_int_distribution<int>(lowest, highest)(random); };
  for (int damage = pick(0, 3) == 0 ? pick(1, 2) : 0; damage > 0 && !text.empty(); --damage) {
    const auto at = static_cast<std::size_t>(pick(0, static_cast<int>(text.size()) - 1));
    const char c = pool[static_cast<std::size_t>(pick(0, static_cast<int>(pool.size()) - 1))];
    switch (pick(0, 3)) {
      case 0: text[at] = c; break;
      case 1: text.erase(at, 1); break;
      case 2: text.insert(at, 1, c); break;
      default: text.resize(at); break;
    }
  }
}

}  // namespace platform::testing
