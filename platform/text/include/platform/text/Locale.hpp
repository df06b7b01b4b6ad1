#pragma once
// The locale that collation and case mapping follow. The C and POSIX locales of a
// plain container stand for the root locale; tests pin a locale for the process.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Locale {
 public:
  /// An ICU identifier ("en_US", "de", "tr_TR"). A POSIX name such as "de_DE.UTF-8@euro"
  /// loses its encoding and modifier; "", "C" and "POSIX" (with any encoding) give the root locale.
  explicit Locale(std::string_view identifier);
  static Locale root() { return Locale(""); }

  /// The pinned locale, else the environment's (LC_ALL, then LC_CTYPE, then LANG), read once.
  /// The reference stays valid on this thread until the next pin or unpin.
  static const Locale& current();
  /// Changes on every pin and unpin, so that callers can cache per-locale objects.
  static std::uint64_t generation() noexcept;

  /// The ICU identifier; empty for the root locale.
  const std::string& identifier() const noexcept { return identifier_; }
  /// The language code, lower case ("tr" for "tr_TR"); empty for the root locale.
  const std::string& language() const noexcept { return language_; }

  friend bool operator==(const Locale&, const Locale&) = default;

  /// Makes `current()` answer a given locale while it lives (defined below).
  class Pin;

 private:
  std::string identifier_;
  std::string language_;
};

/// Makes `Locale::current()` answer `locale` while it lives, then restores what was there.
class Locale::Pin {
 public:
  explicit Pin(const Locale& locale);
  ~Pin();
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;

 private:
  std::optional<Locale> previous_;
};

}  // namespace platform
