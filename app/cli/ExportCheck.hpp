#pragma once
// What the export would stop at, found before it makes a folder: a name longer than the file
// system it would be made on allows, anything but a folder in a folder's place, or a link that
// leads out of the export folder. The dry run answers as the export would, and the export leaves
// no partial tree for any of them.

#include <filesystem>

#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// Throws the export's error for the first location below `root` that it could not make: one
/// with a component longer, in bytes, than `pathconf(_PC_NAME_MAX)` of the nearest existing
/// folder above it allows ("File name too long"; the missing folders of `root` itself count as
/// the first location's), one where a file, a FIFO, a socket or a device (or a link to one) lies
/// in the place of a folder ("Not a directory", naming it), or one that a link leads outside
/// `root` or to nowhere. A `root` that does not exist yet, or is empty, costs a look at it or its
/// parents and at the importer's longest name; one that holds folders, a walk over the existing
/// ones, each looked at once from its parent.
void checkExportLocations(const AsyncImporter& importer, const std::filesystem::path& root);

}  // namespace Pelmora_Zava::cli
