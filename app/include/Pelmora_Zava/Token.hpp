#pragma once
// A token of a folder-name expression: a name that stands for a value, written
// between braces ("{Year}"), and the conversions between an expression's text
// and the pieces (plain texts and tokens) that the token editor shows.

#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/text/CanonicalText.hpp"

namespace Pelmora_Zava {

struct Token {
  std::string value;  // the name, without braces

  Token() = default;
  explicit Token(std::string name) : value(std::move(name)) {}
  Token(const char* name) : value(name) {}  // NOLINT: a literal is a token name, braces and all

  /// How the token is written in an expression: "{" + value + "}".
  std::string description() const { return "{" + value + "}"; }
  /// Two spellings of the same name are the same token.
  friend bool operator==(const Token& a, const Token& b) { return platform::canonicallyEqual(a.value, b.value); }

  /// One piece of an expression as the token editor holds it.
  using Piece = std::variant<std::string, Token>;

  /// Splits text at braces: text before a "{" or at the end is plain, text before a "}" is a token.
  /// Braces need not pair and are dropped; empty pieces are never made.
  static std::vector<Piece> tokenize(std::string_view text);
  /// The pieces written out (tokens in braces), joined by `separator`.
  static std::string joinedString(const std::vector<Piece>& pieces, std::string_view separator = "");
  /// The editor's object value as text: a list of pieces, or a single one.
  static std::string string(const std::vector<Piece>& pieces, std::string_view separator = "");
  static std::string string(const Piece& piece, std::string_view separator = "");
  /// What the user typed: a token when it begins with "{" and ends with "}", else the text itself.
  static Piece representedObject(std::string_view typed);
};

/// The textual description of a piece: plain text as is, a token in braces.
std::string describe(const Token::Piece& piece);

}  // namespace Pelmora_Zava

template <>
struct std::hash<Pelmora_Zava::Token> {
  std::size_t operator()(const Pelmora_Zava::Token& token) const noexcept { return platform::canonicalHash(token.value); }
};
