#include "Pelmora_Zava/Token.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <utility>

#include "platform/text/Characters.hpp"

namespace Pelmora_Zava {
namespace {

// A brace counts only as a character of its own: followed by a combining mark, or after a
// prepended mark (an Arabic number sign), it is part of another.
bool isBraceCharacter(std::string_view text, std::size_t at, char brace) {
  if (text[at] != brace || platform::offsetAfterCharacters(text.substr(at), 1) != 1) return false;
  if (at == 0 || static_cast<unsigned char>(text[at - 1]) < 0x80) return true;
  int32_t before = static_cast<int32_t>(at);
  UChar32 previous;
  U8_PREV(reinterpret_cast<const std::uint8_t*>(text.data()), 0, before, previous);
  return previous < 0 || u_getIntPropertyValue(previous, UCHAR_GRAPHEME_CLUSTER_BREAK) != U_GCB_PREPEND;
}

}  // namespace

std::vector<Token::Piece> Token::tokenize(std::string_view text) {
  std::vector<Piece> pieces;
  std::string pending;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (isBraceCharacter(text, i, '{')) {
      if (!pending.empty()) pieces.emplace_back(std::exchange(pending, {}));
    } else if (isBraceCharacter(text, i, '}')) {
      if (!pending.empty()) pieces.emplace_back(Token(std::exchange(pending, {})));
    } else {
      pending.push_back(text[i]);
    }
  }
  if (!pending.empty()) pieces.emplace_back(std::move(pending));
  return pieces;
}

std::string describe(const Token::Piece& piece) {
  if (const Token* token = std::get_if<Token>(&piece)) return token->description();
  return std::get<std::string>(piece);
}

std::string Token::joinedString(const std::vector<Piece>& pieces, std::string_view separator) {
  std::string text;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) text.append(separator);
    text += describe(pieces[i]);
  }
  return text;
}

std::string Token::string(const std::vector<Piece>& pieces, std::string_view separator) {
  return joinedString(pieces, separator);
}

std::string Token::string(const Piece& piece, std::string_view separator) {
  return joinedString({piece}, separator);
}

Token::Piece Token::representedObject(std::string_view typed) {
  if (typed.size() >= 2 && isBraceCharacter(typed, 0, '{') &&
      platform::offsetBeforeLastCharacters(typed, 1) == typed.size() - 1 && typed.back() == '}')
    return Token(std::string(typed.substr(1, typed.size() - 2)));
  return std::string(typed);
}

}  // namespace Pelmora_Zava
