#include "platform/core/FloatingPointText.hpp"

#include <charconv>
#include <cmath>

namespace platform {
namespace {

template <typename Float>
std::string text(Float value, Float exactIntegerLimit) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  const Float magnitude = std::fabs(value);
  // Plain shortest text would write 100000.0 as "1e+05"; the fixed range is chosen here.
  const bool fixed = value == 0 || (magnitude >= Float(1e-4) && magnitude < exactIntegerLimit);
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    fixed ? std::chars_format::fixed : std::chars_format::scientific);
  std::string written(buffer, result.ptr);
  if (fixed && written.find('.') == std::string::npos) written += ".0";
  return written;
}

}  // namespace

std::string floatingPointText(double value) { return text(value, 9007199254740992.0); }
std::string floatingPointText(float value) { return text(value, 16777216.0f); }

}  // namespace platform
