#pragma once
// The guess of the datasource column that supplies the names, shared by every importer.
// Logs the choice; safe on any thread.

#include <optional>
#include <string>
#include <vector>

namespace Ravelin {

/// The first header that looks like a file, image or plain name ("Name", "File Name",
/// "Product-Image Name"), else the first header; absent, and nothing logged, for no headers.
std::optional<std::string> chooseFilenameHeader(const std::vector<std::string>& headers);

}  // namespace Ravelin
