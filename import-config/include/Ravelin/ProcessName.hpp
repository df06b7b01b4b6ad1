#pragma once
// The clean-up that turns a name into a folder name in the importers: white-space
// trimming (an import setting), then the export settings' character trims, letter
// case, white-space and illegal-character replacement and digit padding, in that order.
// A pure function, safe on any thread.

#include <string>
#include <string_view>

#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"

namespace Ravelin {

/// `name` cleaned up. Negative trims cut nothing; a `padDigits` that is not finite pads nothing.
std::string processName(std::string_view name, const CSVImportConfig& importConfig,
                        const CSVExportConfig& exportConfig);

}  // namespace Ravelin
