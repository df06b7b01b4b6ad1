#include "platform/net/URIReference.hpp"

#include <array>
#include <cstdint>

namespace platform {
namespace {

// One bit per component grammar, so that one table answers every "may this character
// stand here" question.
enum : std::uint8_t {
  schemeChar = 1,
  userInfoChar = 2,
  regNameChar = 4,
  pathChar = 8,
  queryChar = 16,
  futureChar = 32,  // inside "[v…]"
};

constexpr std::array<std::uint8_t, 256> grammar = [] {
  std::array<std::uint8_t, 256> table{};
  auto add = [&table](std::string_view characters, std::uint8_t classes) {
    for (char c : characters) table[static_cast<unsigned char>(c)] |= classes;
  };
  constexpr std::uint8_t all = userInfoChar | regNameChar | pathChar | queryChar | futureChar;
  add("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", all | schemeChar);
  add("-.", all | schemeChar);
  add("+", all | schemeChar);
  add("_~!$&'()*,;=", all);
  add(":", userInfoChar | pathChar | queryChar | futureChar);
  add("@", pathChar | queryChar);
  add("/", pathChar | queryChar);
  add("?", queryChar);
  return table;
}();

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Every character allowed by `classes`, or a "%" with two hex digits.
bool matches(std::string_view text, std::uint8_t classes) noexcept {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return false;
      i += 2;
    } else if (!(grammar[static_cast<unsigned char>(c)] & classes)) {
      return false;
    }
  }
  return true;
}

bool isScheme(std::string_view text) noexcept {
  if (text.empty() || !isAlpha(text[0])) return false;
  for (char c : text) {
    if (!(grammar[static_cast<unsigned char>(c)] & schemeChar)) return false;
  }
  return true;
}

bool isIPv4(std::string_view text) noexcept {
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t start = i;
    int value = 0;
    while (i < text.size() && isDigit(text[i]) && i - start < 3) value = value * 10 + (text[i++] - '0');
    const std::size_t length = i - start;
    if (length == 0 || value > 255 || (length > 1 && text[start] == '0')) return false;
    if (++parts == 4) return i == text.size();
    if (i == text.size() || text[i] != '.') return false;
    ++i;
  }
}

bool isIPv6(std::string_view text) noexcept {
  int groups = 0;          // 16-bit groups written
  bool elided = false;     // "::" seen
  std::size_t i = 0;
  if (text.starts_with("::")) {
    elided = true;
    i = 2;
    if (i == text.size()) return true;
  } else if (text.starts_with(":")) {
    return false;
  }
  while (i < text.size()) {
    std::size_t start = i;
    while (i < text.size() && isHex(text[i]) && i - start < 5) ++i;
    const std::size_t length = i - start;
    if (i < text.size() && text[i] == '.') {
      // The last 32 bits written as an IPv4 address.
      if (!isIPv4(text.substr(start))) return false;
      groups += 2;
      i = text.size();
      break;
    }
    if (length == 0 || length > 4) return false;
    ++groups;
    if (i == text.size()) break;
    if (text[i] != ':') return false;
    ++i;
    if (i < text.size() && text[i] == ':') {
      if (elided) return false;
      elided = true;
      ++i;
      if (i == text.size()) break;
    } else if (i == text.size()) {
      return false;
    }
  }
  return elided ? groups <= 7 : groups == 8;
}

bool isIPLiteral(std::string_view inside) noexcept {
  if (!inside.empty() && (inside[0] == 'v' || inside[0] == 'V')) {
    std::size_t dot = inside.find('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 == inside.size()) return false;
    for (char c : inside.substr(1, dot - 1)) {
      if (!isHex(c)) return false;
    }
    for (char c : inside.substr(dot + 1)) {
      if (!(grammar[static_cast<unsigned char>(c)] & futureChar)) return false;
    }
    return true;
  }
  return isIPv6(inside);
}

bool splitAuthority(std::string_view authority, URIReference& parts) noexcept {
  if (std::size_t at = authority.find('@'); at != std::string_view::npos) {
    parts.userInfo = authority.substr(0, at);
    if (!matches(*parts.userInfo, userInfoChar)) return false;
    authority.remove_prefix(at + 1);
  }
  std::size_t hostEnd;
  if (authority.starts_with("[")) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos || !isIPLiteral(authority.substr(1, close - 1))) return false;
    hostEnd = close + 1;
    if (hostEnd < authority.size() && authority[hostEnd] != ':') return false;
  } else {
    hostEnd = std::min(authority.find(':'), authority.size());
    if (!matches(authority.substr(0, hostEnd), regNameChar)) return false;
  }
  parts.host = authority.substr(0, hostEnd);
  if (hostEnd < authority.size()) {
    parts.port = authority.substr(hostEnd + 1);
    for (char c : *parts.port) {
      if (!isDigit(c)) return false;
    }
  }
  return true;
}

}  // namespace

std::optional<URIReference> URIReference::split(std::string_view text) noexcept {
  URIReference parts;
  std::string_view rest = text;
  if (std::size_t end = rest.find_first_of(":/?#"); end != std::string_view::npos && rest[end] == ':') {
    // A colon before any "/", "?" or "#" ends a scheme; a relative path may not hold one in
    // its first segment, so a bad scheme is a bad reference.
    if (!isScheme(rest.substr(0, end))) return std::nullopt;
    parts.scheme = rest.substr(0, end);
    rest.remove_prefix(end + 1);
  }
  if (rest.starts_with("//")) {
    rest.remove_prefix(2);
    const std::size_t end = std::min(rest.find_first_of("/?#"), rest.size());
    if (!splitAuthority(rest.substr(0, end), parts)) return std::nullopt;
    rest.remove_prefix(end);
  }
  if (std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    parts.fragment = rest.substr(hash + 1);
    if (!matches(*parts.fragment, queryChar)) return std::nullopt;
    rest = rest.substr(0, hash);
  }
  if (std::size_t question = rest.find('?'); question != std::string_view::npos) {
    parts.query = rest.substr(question + 1);
    if (!matches(*parts.query, queryChar)) return std::nullopt;
    rest = rest.substr(0, question);
  }
  parts.path = rest;
  if (!matches(parts.path, pathChar)) return std::nullopt;
  return parts;
}

std::optional<std::string> percentDecoded(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !isHex(text[i + 1]) || !isHex(text[i + 2])) return std::nullopt;
    decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
    i += 2;
  }
  return decoded;
}

}  // namespace platform
