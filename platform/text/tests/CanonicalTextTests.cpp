#include <gtest/gtest.h>

#include <map>

#include "platform/text/CanonicalText.hpp"

namespace platform {
namespace {

TEST(CanonicalText, SpellingsOfOneTextAreOne) {
  const std::string composed = "caf\u00E9";
  const std::string decomposed = "cafe\u0301";
  EXPECT_TRUE(isCanonical(composed));
  EXPECT_FALSE(isCanonical(decomposed));
  EXPECT_EQ(canonicalText(decomposed), composed);
  EXPECT_TRUE(canonicallyEqual(composed, decomposed));
  EXPECT_FALSE(canonicallyEqual("cafe", composed));
  EXPECT_EQ(canonicalHash(composed), canonicalHash(decomposed));

  std::map<std::string, int, CanonicalLess> entries{{composed, 1}};
  EXPECT_FALSE(entries.emplace(decomposed, 2).second);
  EXPECT_EQ(entries.count(decomposed), 1u);
  EXPECT_TRUE(CanonicalLess()("a", "b"));
}

}  // namespace
}  // namespace platform
