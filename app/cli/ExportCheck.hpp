#pragma once
// What the export would stop at once, found before it makes a folder: a name longer than the
// file system it would be made on allows, or a file where a folder must be. The dry run answers
// as the export would, and the export leaves no partial tree for either.

#include <filesystem>

#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// Throws the export's error for the first location below `root` that it could not make: one
/// with a component longer, in bytes, than `pathconf(_PC_NAME_MAX)` of the nearest existing
/// folder above it allows ("File name too long"; the missing folders of `root` itself count as
/// the first location's), or one where an existing file, or a link to one, lies in the place of
/// a folder ("Not a directory", naming the file). A link to a folder counts as the folder; where
/// a link leads is the export's own question.
void checkExportLocations(const AsyncImporter& importer, const std::filesystem::path& root);

}  // namespace Pelmora_Zava::cli
