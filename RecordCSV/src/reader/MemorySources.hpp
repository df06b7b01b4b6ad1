#pragma once

#include <memory>
#include <span>

#include "RecordCSV/UTF8Source.hpp"

namespace RecordCSV {

/// UTF-8 (or, with `asciiOnly`, ASCII) bytes in memory, checked as the parser reaches them.
std::unique_ptr<UTF8Source> makeCheckedBytesSource(std::span<const std::uint8_t> bytes,
                                                   std::shared_ptr<const void> owner, bool asciiOnly);

}  // namespace RecordCSV
