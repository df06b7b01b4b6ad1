#pragma once
// How a processed name becomes folder names: split at every slash, each piece one nested folder.
// The locations, the export and the bound that the import keeps all split names this one way.

#include <cstddef>
#include <limits>
#include <string_view>

namespace Pelmora_Zava {

class Filename;

/// Greater than any file system's name limit: the bound of a name the export refuses.
inline constexpr std::size_t refusedFolderName = std::numeric_limits<std::size_t>::max();

/// Calls `piece` with each text between the slashes of `name`, empty ones included. False, after
/// no call or some, for a name that the export refuses: one holding a NUL, or a "." or ".." piece,
/// whose folder would not lie below the one it is appended to.
template <class Piece>
bool splitFolderName(std::string_view name, Piece&& piece) {
  if (name.find('\0') != std::string_view::npos) return false;
  for (std::size_t start = 0; start <= name.size();) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view component = name.substr(start, end - start);
    if (component == "." || component == "..") return false;
    piece(component);
    start = end + 1;
  }
  return true;
}

/// The longest folder name, in bytes, among the locations of `record` (at least, since a record
/// without a folder name has none); `refusedFolderName` when one of its names is refused.
std::size_t longestFolderNameOf(const Filename& record);

}  // namespace Pelmora_Zava
