#include <gtest/gtest.h>

#include "platform/system/SystemInfo.hpp"
#include "platform/text/Locale.hpp"

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

TEST(SystemInfo, DatePartsFollowTheLocalesCalendarAndTheZone) {
  struct Case {
    const char* locale;
    const char* zone;
    SystemInfo::DateTime expected;
  };
  const double moment = 1772866800;  // 2026-03-07 07:00:00 UTC
  const Case cases[] = {
      {"", "UTC", {2026, 3, 7, 7, 0, 0}},
      {"en_US", "America/New_York", {2026, 3, 7, 2, 0, 0}},
      {"th_TH", "Asia/Bangkok", {2569, 3, 7, 14, 0, 0}},
      {"fa_IR", "Asia/Tehran", {1404, 12, 16, 10, 30, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(system_info_detail::calendarParts(moment, c.locale, c.zone), c.expected) << c.locale;

  // The host follows the locale in use: a Thai user counts years in the Buddhist era.
  const std::int64_t before = SystemInfo::host()->now()->year;
  std::optional<std::int64_t> thai;
  {
    Locale::Pin pin(Locale("th_TH"));
    thai = SystemInfo::host()->now()->year;
  }
  const std::int64_t after = SystemInfo::host()->now()->year;
  EXPECT_TRUE(thai == before + 543 || thai == after + 543) << *thai;
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
