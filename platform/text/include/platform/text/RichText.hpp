#pragma once
// Rich text (RTF) reduced to its plain text: the characters of the document
// body without formatting, tables of fonts, colours and styles, pictures,
// objects, headers and footers. Paragraph and line breaks become "\n".

#include <cstdint>
#include <string>

#include "platform/core/Data.hpp"

namespace platform {

class RichText {
 public:
  /// The plain text of `data` as UTF-8. Data that does not start as rich text is
  /// taken as UTF-8 text. Throws `platform::Error` when it is neither.
  static std::string plainText(const Data& data);

  static constexpr const char* errorDomain = "RichText";
  enum class ErrorCode : std::int64_t { unreadable = 1 };
};

}  // namespace platform
