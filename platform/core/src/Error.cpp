#include "platform/core/Error.hpp"

#include <cmath>
#include <cstdio>

#include "platform/core/FloatingPointText.hpp"
#include "platform/core/Unicode.hpp"

namespace platform {

std::string describe(std::string_view text) { return std::string(text); }

std::string describe(char32_t scalar) {
  std::string text;
  appendUTF8(text, scalar);
  return text;
}

std::string describe(bool value) { return value ? "true" : "false"; }

std::string describe(double value) { return floatingPointText(value); }

std::string describe(std::int64_t value) { return std::to_string(value); }
std::string describe(std::uint64_t value) { return std::to_string(value); }

std::string describe(const std::exception_ptr& error) {
  if (!error) return "nil";
  try {
    std::rethrow_exception(error);
  } catch (const Error& platformError) {
    return platformError.debugDescription();
  } catch (const std::exception& other) {
    return other.what();
  } catch (...) {
    return "unknown error";
  }
}

const std::any* UserInfo::find(std::string_view key) const {
  for (const UserInfoEntry& entry : entries_)
    if (entry.key == key) return &entry.value;
  return nullptr;
}

Error::Error(std::string domain, std::int64_t code, std::string description, Details details)
    : domain_(std::move(domain)), code_(code), description_(std::move(description)), details_(std::move(details)) {
  appendToSummary(description_);
  if (!failureReason()) return;
  // A title takes its reason after a colon; a sentence is followed by the next.
  const bool sentence =
      !description_.empty() && std::string_view(".!?").find(description_.back()) != std::string_view::npos;
  summary_ += sentence ? " " : ": ";
  appendToSummary(*failureReason());
}

void Error::appendToSummary(std::string_view detail) {
  // One line, whatever the texts hold: line breaks show as their control pictures.
  for (char c : detail) {
    if (c == '\n')
      summary_ += "\xE2\x90\x8A";
    else if (c == '\r')
      summary_ += "\xE2\x90\x8D";
    else
      summary_ += c;
  }
}

std::string Error::debugDescription() const {
  return "[" + domain_ + " " + std::to_string(code_) + "] " + description_ + debugDetailLines();
}

std::string Error::debugDetailLines() const {
  std::string text;
  if (failureReason()) text += "\n\tReason: " + *failureReason();
  if (recoverySuggestion()) text += "\n\tRecovery: " + *recoverySuggestion();
  if (helpAnchor()) text += "\n\tHelp: " + *helpAnchor();
  if (!userInfo().empty()) {
    text += "\n\tUser info: ";
    bool first = true;
    for (const UserInfoEntry& entry : userInfo()) {
      if (!first) text += ", ";
      first = false;
      text += entry.key + ": " + entry.text;
    }
  }
  if (underlyingError()) text += "\n\tUnderlying error: " + describe(underlyingError());
  return text;
}

}  // namespace platform
