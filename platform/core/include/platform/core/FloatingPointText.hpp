#pragma once
// Floating-point numbers as the platform prints them: the shortest text that reads back
// as the same value, in fixed notation with a fractional part for zero and for
// magnitudes from 1e-4 up to the type's last exactly held integer (2^53, 2^24 for
// Float), in scientific notation outside ("1e+16", "1e-05"); "nan", "inf", "-inf".

#include <string>

namespace platform {

std::string floatingPointText(double value);
std::string floatingPointText(float value);

}  // namespace platform
