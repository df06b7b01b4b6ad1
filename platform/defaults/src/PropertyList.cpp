#include "platform/defaults/PropertyList.hpp"

#include <charconv>
#include <cmath>

#include "platform/core/Base64.hpp"

namespace platform {

std::string shortestText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string PropertyList::description() const {
  switch (kind()) {
    case Kind::boolean: return *boolean() ? "1" : "0";
    case Kind::integer: return std::to_string(*integer());
    case Kind::unsignedInteger: return std::to_string(*unsignedInteger());
    case Kind::real: return shortestText(*real());
    case Kind::string: return *string();
    case Kind::data: return "<" + base64Encoded(*data()) + ">";
    case Kind::date: return "date " + shortestText(date()->timeIntervalSinceReferenceDate);
    case Kind::array: {
      std::string text = "(";
      for (std::size_t i = 0; i < array()->size(); ++i) text += (i ? ", " : "") + (*array())[i].description();
      return text + ")";
    }
    case Kind::dictionary: {
      std::string text = "{";
      bool first = true;
      for (const auto& [key, value] : *dictionary()) {
        text += (first ? "" : "; ") + key + " = " + value.description();
        first = false;
      }
      return text + "}";
    }
  }
  return {};
}

}  // namespace platform
