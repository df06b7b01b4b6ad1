#include "platform/coding/TypeName.hpp"

namespace platform::coding::detail {

std::string typeNameFromSignature(std::string_view signature) {
  // The signature reads "... [with T = ns::Type<Args>; ...]" or ends with "]".
  constexpr std::string_view marker = "T = ";
  const std::size_t start = signature.find(marker);
  if (start == std::string_view::npos) return std::string(signature);
  std::string_view name = signature.substr(start + marker.size());
  int depth = 0;
  std::size_t end = 0;
  std::size_t unqualified = 0;
  for (; end < name.size(); ++end) {
    const char c = name[end];
    if (c == '<' || c == '(') ++depth;
    else if (c == '>' || c == ')') --depth;
    else if (depth == 0 && (c == ';' || c == ']')) break;
    else if (depth == 0 && c == ':' && end + 1 < name.size() && name[end + 1] == ':') unqualified = end + 2;
  }
  return std::string(name.substr(unqualified, end - unqualified));
}

}  // namespace platform::coding::detail
