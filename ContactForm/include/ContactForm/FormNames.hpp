#pragma once
// The query keys of the feedback request. "REDIRECT" is reserved: no request sends it.

#include <string_view>

namespace ContactForm {

struct FormNames {
  static constexpr std::string_view name = "NAME";
  static constexpr std::string_view from = "FROM";
  static constexpr std::string_view subject = "SUBJECT";
  static constexpr std::string_view body = "BODY";
  static constexpr std::string_view redirect = "REDIRECT";
  static constexpr std::string_view noEmail = "NOEMAIL";
};

}  // namespace ContactForm
