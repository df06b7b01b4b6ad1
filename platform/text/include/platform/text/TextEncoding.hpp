#pragma once
// A text encoding as the import settings and the CSV reader and writer name it.
// The Unicode encodings are decoded by our own code; any other encoding is an
// ICU converter, usable where text is converted in one piece.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

class TextEncoding {
 public:
  enum class Kind {
    ascii,
    utf8,
    utf16,  // no byte order; also the platform's "unicode"
    utf16BigEndian,
    utf16LittleEndian,
    utf32,  // no byte order
    utf32BigEndian,
    utf32LittleEndian,
    other,  // an ICU converter, named by its canonical name
  };

  static TextEncoding ascii() { return TextEncoding(Kind::ascii); }
  static TextEncoding utf8() { return TextEncoding(Kind::utf8); }
  static TextEncoding utf16() { return TextEncoding(Kind::utf16); }
  static TextEncoding unicode() { return utf16(); }
  static TextEncoding utf16BigEndian() { return TextEncoding(Kind::utf16BigEndian); }
  static TextEncoding utf16LittleEndian() { return TextEncoding(Kind::utf16LittleEndian); }
  static TextEncoding utf32() { return TextEncoding(Kind::utf32); }
  static TextEncoding utf32BigEndian() { return TextEncoding(Kind::utf32BigEndian); }
  static TextEncoding utf32LittleEndian() { return TextEncoding(Kind::utf32LittleEndian); }

  /// The encoding with this name: "utf-8", "utf-16le", "ascii", … (case-insensitive),
  /// or any name or alias ICU's converters know ("latin1", "windows-1252", "shift_jis").
  static std::optional<TextEncoding> named(std::string_view name);

  Kind kind() const noexcept { return kind_; }
  /// A lower-case name that `named` accepts back: "utf-8", "utf-16be", or the ICU name.
  std::string name() const;
  /// The name people see, such as "Unicode (UTF-8)".
  std::string description() const;
  /// The ICU converter name for this encoding.
  std::string converterName() const;

  friend bool operator==(const TextEncoding&, const TextEncoding&) = default;

 private:
  explicit TextEncoding(Kind kind, std::string converter = {}) : kind_(kind), converter_(std::move(converter)) {}

  Kind kind_;
  std::string converter_;  // only for Kind::other
};

}  // namespace platform
