#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "RecordCSV/UTF8Source.hpp"

namespace RecordCSV {

/// UTF-8 (or, with `asciiOnly`, ASCII) bytes in memory, checked as the parser reaches them;
/// `firstByte` is where they begin in the input.
std::unique_ptr<UTF8Source> makeCheckedBytesSource(std::span<const std::uint8_t> bytes,
                                                   std::shared_ptr<const void> owner, bool asciiOnly,
                                                   std::uint64_t firstByte = 0);

}  // namespace RecordCSV
