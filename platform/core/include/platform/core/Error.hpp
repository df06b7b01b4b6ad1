#pragma once
// The error base that every module's failures derive from: a description (the
// title), the optional explanatory texts, a domain and code, ordered user
// information and the error that caused this one.

#include <any>
#include <concepts>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// The standard textual representation of a value, as error user information shows it.
std::string describe(std::string_view text);
std::string describe(char32_t scalar);
std::string describe(bool value);
std::string describe(double value);
std::string describe(std::int64_t value);
std::string describe(std::uint64_t value);
inline std::string describe(const std::string& text) { return describe(std::string_view(text)); }
inline std::string describe(const char* text) { return describe(std::string_view(text)); }
template <std::signed_integral T>
  requires(!std::same_as<T, bool>)
std::string describe(T value) { return describe(static_cast<std::int64_t>(value)); }
template <std::unsigned_integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char32_t>)
std::string describe(T value) { return describe(static_cast<std::uint64_t>(value)); }
template <typename T>
  requires requires(const T& value) { { value.description() } -> std::convertible_to<std::string>; }
std::string describe(const T& value) { return value.description(); }
/// A sequence reads as "[a, b]", like the platform's array description.
template <typename T>
std::string describe(const std::vector<T>& values) {
  std::string text = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) text += ", ";
    text += describe(values[i]);
  }
  return text + "]";
}

/// One user-information entry: the key, the value itself, and its text for descriptions.
struct UserInfoEntry {
  std::string key;
  std::any value;
  std::string text;
};

/// User information in insertion order; keys are plain phrases.
class UserInfo {
 public:
  template <typename T>
  UserInfo& add(std::string key, T value) {
    std::string text = describe(value);
    entries_.push_back({std::move(key), std::any(std::move(value)), std::move(text)});
    return *this;
  }

  /// The value stored under `key`, or null.
  const std::any* find(std::string_view key) const;
  /// The value under `key` as T, or nothing when absent or of another type.
  template <typename T>
  std::optional<T> get(std::string_view key) const {
    if (const std::any* value = find(key))
      if (const T* typed = std::any_cast<T>(value)) return *typed;
    return std::nullopt;
  }

  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<UserInfoEntry> entries_;
};

/// A failure with the same facets the platform's error objects carry.
class Error : public std::exception {
 public:
  struct Details {
    std::optional<std::string> failureReason;
    std::optional<std::string> recoverySuggestion;
    std::optional<std::string> helpAnchor;
    UserInfo userInfo;
    std::exception_ptr underlyingError;
  };

  Error(std::string domain, std::int64_t code, std::string description, Details details = {});

  /// One line for people: the description, then the failure reason when there is one.
  const char* what() const noexcept override { return summary_.c_str(); }
  /// The localized description: for module errors, the title of the failure kind.
  const std::string& description() const noexcept { return description_; }
  const std::string& domain() const noexcept { return domain_; }
  std::int64_t code() const noexcept { return code_; }
  const std::optional<std::string>& failureReason() const noexcept { return details_.failureReason; }
  const std::optional<std::string>& recoverySuggestion() const noexcept { return details_.recoverySuggestion; }
  const std::optional<std::string>& helpAnchor() const noexcept { return details_.helpAnchor; }
  const UserInfo& userInfo() const noexcept { return details_.userInfo; }
  const std::exception_ptr& underlyingError() const noexcept { return details_.underlyingError; }

  /// A multi-line text for logs; modules refine it.
  virtual std::string debugDescription() const;

 protected:
  /// The reason, recovery, help, user-information and underlying-error lines of a debug description.
  std::string debugDetailLines() const;
  /// Adds a detail, such as the file concerned, to the end of `what()`.
  void appendToSummary(std::string_view detail);

 private:
  std::string domain_;
  std::int64_t code_;
  std::string description_;
  Details details_;
  std::string summary_;
};

/// The textual representation of any caught exception (its debug description when it is an Error).
std::string describe(const std::exception_ptr& error);

}  // namespace platform
