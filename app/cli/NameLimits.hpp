#pragma once
// The dry run's answer to what the export would meet first: a name longer than the file
// system it would be made on allows. Nothing else is asked of the file system.

#include <filesystem>

#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// Throws the export's error ("File name too long") for the first location below `root` that
/// has a component longer, in bytes, than `pathconf(_PC_NAME_MAX)` of the nearest existing
/// folder above it allows; the missing folders of `root` itself count as the first location's.
void refuseOverlongNames(const AsyncImporter& importer, const std::filesystem::path& root);

}  // namespace Pelmora_Zava::cli
