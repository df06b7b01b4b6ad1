#pragma once
// What the program may learn about the machine it runs on: the clock in the
// user's calendar, the computer's name and the user's names. Injectable, so
// that tests see a fixed machine.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class SystemInfo {
 public:
  /// A moment split into the parts of the user's calendar (the locale's own, Gregorian for most) in the local time zone.
  struct DateTime {
    std::int64_t year = 0;
    std::int64_t month = 0;   // 1 to 12
    std::int64_t day = 0;     // 1 to 31
    std::int64_t hour = 0;    // 0 to 23
    std::int64_t minute = 0;
    std::int64_t second = 0;
    friend bool operator==(const DateTime&, const DateTime&) = default;
  };

  virtual ~SystemInfo() = default;

  /// The current local date and time; absent when the clock cannot be read.
  virtual std::optional<DateTime> now() const = 0;
  /// The computer's name as people see it; absent when none can be found.
  virtual std::optional<std::string> computerName() const = 0;
  /// The short (login) name of the user running the process.
  virtual std::string userName() const = 0;
  /// The user's full name.
  virtual std::string fullUserName() const = 0;

  /// The machine as the process sees it (never null).
  static std::shared_ptr<const SystemInfo> host();
  /// The one in use: `host()` unless replaced.
  static std::shared_ptr<const SystemInfo> current();
  /// Replaces the one in use (null puts `host()` back); returns the previous one.
  static std::shared_ptr<const SystemInfo> setCurrent(std::shared_ptr<const SystemInfo> info);
};

/// A machine whose answers never change, for tests and reproducible runs.
class FixedSystemInfo final : public SystemInfo {
 public:
  std::optional<DateTime> dateTime;
  std::optional<std::string> computer;
  std::string user;
  std::string fullUser;

  FixedSystemInfo(std::optional<DateTime> date, std::optional<std::string> computerName, std::string userName,
                  std::string fullUserName)
      : dateTime(date), computer(std::move(computerName)), user(std::move(userName)), fullUser(std::move(fullUserName)) {}

  std::optional<DateTime> now() const override { return dateTime; }
  std::optional<std::string> computerName() const override { return computer; }
  std::string userName() const override { return user; }
  std::string fullUserName() const override { return fullUser; }
};

/// Installs a system info for as long as it lives, then puts the previous one back.
class ScopedSystemInfo {
 public:
  explicit ScopedSystemInfo(std::shared_ptr<const SystemInfo> info) : previous_(SystemInfo::setCurrent(std::move(info))) {}
  ~ScopedSystemInfo() { SystemInfo::setCurrent(std::move(previous_)); }
  ScopedSystemInfo(const ScopedSystemInfo&) = delete;
  ScopedSystemInfo& operator=(const ScopedSystemInfo&) = delete;

 private:
  std::shared_ptr<const SystemInfo> previous_;
};

namespace system_info_detail {
// The rules by which the host's answers are derived, apart from where the inputs come from.

/// The value of PRETTY_HOSTNAME in the text of a machine-info file (shell-style assignments), if set and not empty.
std::optional<std::string> prettyHostnameFromMachineInfo(std::string_view text);
/// The full name in a password entry's comment field: up to its first comma; absent when that part is empty.
std::optional<std::string> fullNameFromGecos(std::string_view gecos);
/// The parts of a moment (seconds since 1970) in the default calendar of an ICU locale and in a time zone
/// ("Asia/Bangkok"); absent when no calendar can be made for them.
std::optional<SystemInfo::DateTime> calendarParts(double secondsSince1970, const std::string& locale,
                                                  const std::string& timeZone);

}  // namespace system_info_detail

}  // namespace platform
