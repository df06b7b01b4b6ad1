#include <gtest/gtest.h>

#include "platform/SystemInfo.hpp"

namespace platform {
namespace {

TEST(SystemInfo, PrettyHostnameFromMachineInfo) {
  struct Case {
    const char* text;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"", std::nullopt},
      {"CHASSIS=laptop\n", std::nullopt},
      {"PRETTY_HOSTNAME=Studio\n", "Studio"},
      {"PRETTY_HOSTNAME=\"Anna's Mac\"\nCHASSIS=laptop\n", "Anna's Mac"},
      {"PRETTY_HOSTNAME='Shoot \"A\"'", "Shoot \"A\""},
      {"PRETTY_HOSTNAME=\"say \\\"hi\\\"\"\r\n", "say \"hi\""},
      {"  PRETTY_HOSTNAME=Indented  \n", "Indented"},
      {"# PRETTY_HOSTNAME=Commented\n", std::nullopt},
      {"PRETTY_HOSTNAME=\"\"\n", std::nullopt},
      {"PRETTY_HOSTNAME=First\nPRETTY_HOSTNAME=Second\n", "Second"},
      {"PRETTY_HOSTNAME=\"unterminated", "unterminated"},
      {"PRETTY_HOSTNAMES=Other\n", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(system_info_detail::prettyHostnameFromMachineInfo(c.text), c.expected) << c.text;
}

TEST(SystemInfo, FullNameIsGecosUpToFirstComma) {
  struct Case {
    const char* gecos;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Jane Doe,Room 1,555-1234,", "Jane Doe"},
      {"Jane Doe", "Jane Doe"},
      {"", std::nullopt},
      {",Room 1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(system_info_detail::fullNameFromGecos(c.gecos), c.expected) << c.gecos;
}

TEST(SystemInfo, HostAnswersWithoutFailingAndCurrentCanBeReplaced) {
  auto host = SystemInfo::host();
  if (!host->userName().empty()) {
    EXPECT_FALSE(host->fullUserName().empty());
  }
  auto now = host->now();
  ASSERT_TRUE(now.has_value());
  EXPECT_GE(now->month, 1);
  EXPECT_LE(now->month, 12);
  EXPECT_LE(now->hour, 23);

  auto fixed = std::make_shared<FixedSystemInfo>(SystemInfo::DateTime{2026, 3, 7, 9, 5, 0}, "Studio", "anna", "Anna B");
  {
    ScopedSystemInfo scope(fixed);
    EXPECT_EQ(SystemInfo::current()->computerName(), "Studio");
    EXPECT_EQ(SystemInfo::current()->now()->day, 7);
  }
  EXPECT_EQ(SystemInfo::current(), host);
}

}  // namespace
}  // namespace platform
