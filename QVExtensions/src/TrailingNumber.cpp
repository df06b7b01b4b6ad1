#include <charconv>
#include <cstdio>
#include <limits>

#include "QVExtensions/StringExtensions.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/text/Regex.hpp"

namespace QVExtensions {
namespace {

// Widths and precisions beyond this are cut so that a format cannot ask for gigabytes.
constexpr int maximumFieldWidth = 255;

std::optional<std::int64_t> decimalInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string trimmingScalars(std::string_view text, const platform::CharacterSet& set) {
  const std::u32string scalars = platform::toScalars(text);
  std::size_t first = 0;
  std::size_t last = scalars.size();
  while (first < last && set.contains(scalars[first])) ++first;
  while (last > first && set.contains(scalars[last - 1])) --last;
  return platform::toUTF8(std::u32string_view(scalars).substr(first, last - first));
}

}  // namespace

std::string formatInteger(std::string_view format, std::int64_t value) {
  std::string result;
  for (std::size_t i = 0; i < format.size();) {
    if (format[i] != '%') {
      result.push_back(format[i++]);
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      result.push_back('%');
      i += 2;
      continue;
    }
    std::size_t j = i + 1;
    std::string flags;
    while (j < format.size() && std::string_view("-+ 0#").find(format[j]) != std::string_view::npos) flags += format[j++];
    auto number = [&]() -> std::optional<int> {
      if (j >= format.size() || format[j] < '0' || format[j] > '9') return std::nullopt;
      int n = 0;
      while (j < format.size() && format[j] >= '0' && format[j] <= '9') n = std::min(n * 10 + (format[j++] - '0'), 100000);
      return std::min(n, maximumFieldWidth);
    };
    const std::optional<int> width = number();
    std::optional<int> precision;
    if (j < format.size() && format[j] == '.') {
      ++j;
      precision = number().value_or(0);
    }
    while (j < format.size() && std::string_view("hlqLjzt").find(format[j]) != std::string_view::npos) ++j;
    if (j >= format.size() || std::string_view("diuxXo").find(format[j]) == std::string_view::npos) {
      result.append(format.substr(i, j - i));  // not an integer conversion: kept as written
      i = j;
      continue;
    }
    const char conversion = format[j];
    std::string spec = "%" + flags;
    if (width) spec += std::to_string(*width);
    if (precision) spec.append(".").append(std::to_string(*precision));
    spec += "ll";
    spec += conversion;
    char buffer[2 * maximumFieldWidth + 32];
    int written;
    if (conversion == 'd' || conversion == 'i')
      written = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<long long>(value));
    else
      written = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<unsigned long long>(value));
    if (written > 0) result.append(buffer, std::min(static_cast<std::size_t>(written), sizeof buffer - 1));
    i = j + 1;
  }
  return result;
}

std::string incrementingTrailingNumber(std::string_view text, std::string_view separator, std::string_view format,
                                       std::int64_t start, std::int64_t step) {
  std::int64_t number = start;
  std::string base(text);
  const platform::Regex trailing(platform::Regex::escapedPattern(separator) + "\\d+$");
  if (const auto match = trailing.firstMatch(text)) {
    const auto range = match->range();
    const auto matched = platform::substringForUTF16Range(text, range.location, range.length);
    if (matched) {
      const auto found = decimalInteger(trimmingScalars(*matched, platform::CharacterSet::fromScalars(platform::toScalars(separator))));
      std::int64_t sum = 0;
      // A number that does not fit, or whose successor does not, counts as no number.
      if (found && !__builtin_add_overflow(*found, step, &sum)) {
        number = sum;
        const std::size_t offset = static_cast<std::size_t>(matched->data() - text.data());
        base.erase(offset, matched->size());
      }
    }
  }
  return base + std::string(separator) + formatInteger(format, number);
}

void incrementTrailingNumber(std::string& text, std::string_view separator, std::string_view format,
                             std::int64_t start, std::int64_t step) {
  text = incrementingTrailingNumber(text, separator, format, start, step);
}

}  // namespace QVExtensions
