#pragma once
// Request bodies gzipped (RFC 1952) with zlib.

#include "platform/core/Data.hpp"

namespace TimeSeries {

/// Throws std::runtime_error when zlib fails (it does only when memory runs out).
platform::Data gzipped(const platform::Data& data);

}  // namespace TimeSeries
