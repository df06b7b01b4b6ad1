#include <gtest/gtest.h>

#include <set>

#include "platform/system/UUID.hpp"

namespace platform {
namespace {

TEST(UUID, TextFormsAndRandomness) {
  struct Case {
    const char* text;
    const char* canonical;  // null: not a UUID
  };
  const Case cases[] = {
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"E621E1F8C36C495A93FC0C247A3E6E5F", nullptr},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5", nullptr},
      {"E621E1F8-C36C-495A-93FC-0C247A3E6E5FF", nullptr},
      {"G621E1F8-C36C-495A-93FC-0C247A3E6E5F", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    auto uuid = UUID::fromString(c.text);
    EXPECT_EQ(uuid.has_value(), c.canonical != nullptr) << c.text;
    if (uuid && c.canonical) {
      EXPECT_EQ(uuid->uuidString(), c.canonical);
    }
  }
  std::set<UUID> made;
  for (int i = 0; i < 100; ++i) {
    UUID uuid;
    EXPECT_EQ(UUID::fromString(uuid.uuidString()), uuid);
    EXPECT_EQ(uuid.uuidString()[14], '4');
    made.insert(uuid);
  }
  EXPECT_EQ(made.size(), 100u);
}

}  // namespace
}  // namespace platform
