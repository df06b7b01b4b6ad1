#include "platform/io/FileURL.hpp"

#include <cctype>
#include <cstdio>

namespace platform {
namespace {

// Characters a URL path carries as they are.
bool isPathCharacter(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  switch (c) {
    case '-': case '.': case '_': case '~': case '/': case '!': case '$': case '&': case '\'': case '(': case ')':
    case '*': case '+': case ',': case ';': case '=': case ':': case '@':
      return true;
    default:
      return false;
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string fileURLString(const std::filesystem::path& location) {
  std::error_code ignored;
  std::filesystem::path absolute = location.is_absolute() ? location : std::filesystem::absolute(location, ignored);
  std::string url = "file://";
  for (unsigned char c : absolute.string()) {
    if (isPathCharacter(c)) {
      url += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      url += escape;
    }
  }
  return url;
}

std::optional<std::filesystem::path> fileURLPath(std::string_view url) {
  constexpr std::string_view scheme = "file://";
  if (url.size() < scheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return std::nullopt;
  url.remove_prefix(scheme.size());
  std::size_t slash = url.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view host = url.substr(0, slash);
  if (!host.empty() && host != "localhost") return std::nullopt;
  std::string_view encoded = url.substr(slash);
  if (encoded.find_first_of("?#") != std::string_view::npos) return std::nullopt;
  std::string path;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      path += encoded[i];
      continue;
    }
    if (i + 2 >= encoded.size()) return std::nullopt;
    int high = hexValue(encoded[i + 1]), low = hexValue(encoded[i + 2]);
    if (high < 0 || low < 0 || (high == 0 && low == 0)) return std::nullopt;
    path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return std::filesystem::path(path);
}

std::string lastPathComponent(const std::filesystem::path& location) {
  // A trailing separator leaves an empty last element; the name is the one before it.
  const std::filesystem::path name = location.filename();
  return name.empty() ? location.parent_path().filename().string() : name.string();
}

}  // namespace platform
