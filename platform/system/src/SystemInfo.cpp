#include "platform/system/SystemInfo.hpp"

#include <pwd.h>
#include <unicode/calendar.h>
#include <unicode/timezone.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/text/Locale.hpp"

namespace platform {
namespace system_info_detail {
namespace {

// One shell-style word: unquoted text, "double quoted with \ escapes", 'single quoted'.
std::string unquoteShellWord(std::string_view word) {
  std::string out;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    if (c == '\'') {
      std::size_t end = word.find('\'', i + 1);
      if (end == std::string_view::npos) end = word.size();
      out.append(word.substr(i + 1, end - i - 1));
      i = end;
    } else if (c == '"') {
      for (++i; i < word.size() && word[i] != '"'; ++i) {
        if (word[i] == '\\' && i + 1 < word.size()) ++i;
        out.push_back(word[i]);
      }
    } else if (c == '\\' && i + 1 < word.size()) {
      out.push_back(word[++i]);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> prettyHostnameFromMachineInfo(std::string_view text) {
  std::optional<std::string> found;
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
    constexpr std::string_view key = "PRETTY_HOSTNAME=";
    if (line.substr(0, key.size()) != key) continue;
    found = unquoteShellWord(line.substr(key.size()));  // the last assignment wins, as in a shell
  }
  if (found && found->empty()) return std::nullopt;
  return found;
}

std::optional<std::string> fullNameFromGecos(std::string_view gecos) {
  std::string_view name = gecos.substr(0, gecos.find(','));
  if (name.empty()) return std::nullopt;
  return std::string(name);
}

}  // namespace system_info_detail

namespace {

std::unique_ptr<icu::Calendar> makeCalendar(icu::TimeZone* zone, const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Calendar> calendar(icu::Calendar::createInstance(zone, icu::Locale(locale.c_str()), status));
  if (U_FAILURE(status)) return nullptr;
  return calendar;
}

std::optional<SystemInfo::DateTime> partsAt(icu::Calendar& calendar, UDate moment) {
  UErrorCode status = U_ZERO_ERROR;
  calendar.setTime(moment, status);
  auto part = [&](UCalendarDateFields field) -> std::int64_t { return calendar.get(field, status); };
  SystemInfo::DateTime parts{part(UCAL_YEAR), part(UCAL_MONTH) + 1, part(UCAL_DATE),
                             part(UCAL_HOUR_OF_DAY), part(UCAL_MINUTE), part(UCAL_SECOND)};
  if (U_FAILURE(status)) return std::nullopt;
  return parts;
}

}  // namespace

std::optional<SystemInfo::DateTime> system_info_detail::calendarParts(double secondsSince1970, const std::string& locale,
                                                                      const std::string& timeZone) {
  auto calendar = makeCalendar(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)), locale);
  if (!calendar) return std::nullopt;
  return partsAt(*calendar, secondsSince1970 * 1000.0);
}

namespace {

struct PasswordEntry {
  std::string name;
  std::string gecos;
};

std::optional<PasswordEntry> passwordEntry() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
  passwd entry{};
  passwd* result = nullptr;
  for (;;) {
    int status = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result);
    if (status == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0 || result == nullptr) return std::nullopt;
    return PasswordEntry{entry.pw_name ? entry.pw_name : "", entry.pw_gecos ? entry.pw_gecos : ""};
  }
}

std::string userNameFromEnvironment() {
  for (const char* variable : {"USER", "LOGNAME"})
    if (const char* value = std::getenv(variable); value && *value) return value;
  return {};
}

// Names are asked for once per name record, and reading them means reading files; a name
// read within the last second serves again.
template <typename T>
class RecentValue {
 public:
  template <typename Read>
  T get(Read&& read) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(mutex_);
    if (!value_ || now - readAt_ > std::chrono::seconds(1)) {
      value_ = read();
      readAt_ = now;
    }
    return *value_;
  }

 private:
  std::mutex mutex_;
  std::optional<T> value_;
  std::chrono::steady_clock::time_point readAt_;
};

class HostSystemInfo final : public SystemInfo {
 public:
  std::optional<DateTime> now() const override {
    // Most locales count in the Gregorian calendar, which the C library splits faster; the
    // others keep an ICU calendar per thread, made again when the locale changes.
    thread_local std::optional<std::uint64_t> madeFor;
    thread_local std::unique_ptr<icu::Calendar> ownCalendar;
    if (madeFor != Locale::generation()) {
      madeFor = Locale::generation();
      ownCalendar = makeCalendar(icu::TimeZone::detectHostTimeZone(), Locale::current().identifier());
      if (ownCalendar && std::string_view(ownCalendar->getType()) == "gregorian") ownCalendar.reset();
    }
    if (ownCalendar) return partsAt(*ownCalendar, icu::Calendar::getNow());
    std::time_t seconds = std::time(nullptr);
    std::tm parts{};
    if (seconds == static_cast<std::time_t>(-1) || localtime_r(&seconds, &parts) == nullptr) return std::nullopt;
    return DateTime{parts.tm_year + 1900LL, parts.tm_mon + 1LL, parts.tm_mday, parts.tm_hour, parts.tm_min,
                    parts.tm_sec};
  }

  std::optional<std::string> computerName() const override {
    return computer_.get([] { return readComputerName(); });
  }

  std::string userName() const override {
    return user_.get([] { return readUserName(); });
  }

  std::string fullUserName() const override {
    return fullUser_.get([] { return readFullUserName(); });
  }

 private:
  static std::optional<std::string> readComputerName() {
    if (std::ifstream file("/etc/machine-info"); file) {
      std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
      if (auto pretty = system_info_detail::prettyHostnameFromMachineInfo(text)) return pretty;
    }
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return std::nullopt;
    return std::string(name);
  }

  static std::string readUserName() {
    if (auto entry = passwordEntry(); entry && !entry->name.empty()) return entry->name;
    return userNameFromEnvironment();
  }

  static std::string readFullUserName() {
    if (auto entry = passwordEntry())
      if (auto full = system_info_detail::fullNameFromGecos(entry->gecos)) return *full;
    return readUserName();
  }

  mutable RecentValue<std::optional<std::string>> computer_;
  mutable RecentValue<std::string> user_;
  mutable RecentValue<std::string> fullUser_;
};

std::mutex currentMutex;

std::shared_ptr<const SystemInfo>& currentSlot() {
  static std::shared_ptr<const SystemInfo> slot = SystemInfo::host();
  return slot;
}

}  // namespace

std::shared_ptr<const SystemInfo> SystemInfo::host() {
  static const std::shared_ptr<const SystemInfo> info = std::make_shared<HostSystemInfo>();
  return info;
}

std::shared_ptr<const SystemInfo> SystemInfo::current() {
  std::lock_guard lock(currentMutex);
  return currentSlot();
}

std::shared_ptr<const SystemInfo> SystemInfo::setCurrent(std::shared_ptr<const SystemInfo> info) {
  std::lock_guard lock(currentMutex);
  std::shared_ptr<const SystemInfo> previous = std::move(currentSlot());
  currentSlot() = info ? std::move(info) : host();
  return previous;
}

}  // namespace platform
