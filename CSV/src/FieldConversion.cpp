#include "FieldConversion.hpp"

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace CSV {
namespace {

locale_t cLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
  return locale;
}

template <typename Number, typename Convert>
std::optional<Number> parseWhole(const std::string& text, Convert convert) {
  if (text.empty()) return std::nullopt;
  switch (text[0]) {
    case ' ': case '\t': case '\n': case '\v': case '\f': case '\r': case '\0': return std::nullopt;
    default: break;
  }
  char* end = nullptr;
  const Number value = convert(text.c_str(), &end, cLocale());
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> parseDouble(const std::string& text) { return parseWhole<double>(text, strtod_l); }
std::optional<float> parseFloat(const std::string& text) { return parseWhole<float>(text, strtof_l); }

}  // namespace CSV
