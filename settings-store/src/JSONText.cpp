#include <cstdio>

#include "Defaults/JSONCoding.hpp"
#include "Defaults/Serializable.hpp"

namespace Defaults {

std::string jsonText(const JSON& json) {
  std::string text;
  try {
    text = json.dump();
  } catch (const JSON::type_error&) {
    throw JSONEncodingError("Unable to encode a text that is not valid UTF-8 in JSON.");
  }
  // The platform's encoder escapes every slash; a slash can only occur inside a string literal.
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '/') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

namespace detail {

void printLine(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace detail
}  // namespace Defaults
