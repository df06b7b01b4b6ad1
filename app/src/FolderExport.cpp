#include <string>
#include <unordered_map>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Pelmora_Zava/ControlCharacters.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/io/FileSystem.hpp"

namespace Pelmora_Zava {
namespace {

namespace fs = std::filesystem;

constexpr const char* exportDomain = "FolderExport";
constexpr const char* leftQuote = "\xE2\x80\x9C";
constexpr const char* rightQuote = "\xE2\x80\x9D";

std::string quoted(const std::string& text) { return leftQuote + text + rightQuote; }

[[noreturn]] void refuse(const std::string& name) {
  // A NUL or another control character would reach the terminal raw; its picture shows it.
  const std::string visible = platform::toUTF8(visualizingControlCharacters(name, false));
  throw platform::Error(
      exportDomain, 1, "The folder name " + quoted(visible) + " can\xE2\x80\x99t be used.",
      platform::Error::Details{
          "A folder name may not be \xE2\x80\x9C.\xE2\x80\x9D or \xE2\x80\x9C..\xE2\x80\x9D or hold a NUL character, "
          "since its folder would not lie inside the export folder.",
          std::nullopt, "Replace illegal characters in the export settings or change the name.",
          platform::UserInfo().add("Folder name", name), nullptr});
}

[[noreturn]] void refuseOutside(const fs::path& location, const fs::path& root) {
  throw platform::Error(
      exportDomain, 2, "The folder " + quoted(location.string()) + " would lie outside the export folder.",
      platform::Error::Details{"A symbolic link inside " + quoted(root.string()) +
                                   " leads to a place outside it, or to nowhere.",
                               std::nullopt, "Remove the link or choose another export folder.",
                               platform::UserInfo().add("Folder", location.string()), nullptr});
}

// A name may hold slashes (when illegal characters are kept): each piece becomes one
// nested folder. Pieces that would leave the folder they are appended to are refused.
void appendComponents(fs::path& location, const std::string& name) {
  if (name.find('\0') != std::string::npos) refuse(name);
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view component(name.data() + start, end - start);
    if (component == "." || component == "..") refuse(name);
    if (!component.empty()) location /= component;
    start = end + 1;
  }
}

bool isBelow(const fs::path& location, const fs::path& folder) {
  auto part = location.begin();
  for (auto want = folder.begin(); want != folder.end(); ++want, ++part) {
    if (want->empty() && std::next(want) == folder.end()) break;  // a trailing separator
    if (part == location.end() || *part != *want) return false;
  }
  return part != location.end();
}

// Folders below the root are looked at once each: one that does not exist yet is made by
// the export itself, so nothing below it needs a look; only a symbolic link needs resolving.
class InsideRootCheck {
 public:
  explicit InsideRootCheck(const fs::path& root) : root_(root) {
    std::error_code error;
    rootExists_ = fs::exists(root, error);
    if (rootExists_) resolvedRoot_ = fs::weakly_canonical(root);
  }

  void check(const fs::path& location) {
    if (!rootExists_) return;
    fs::path folder = root_;
    for (const fs::path& part : location.lexically_relative(root_)) {
      folder /= part;
      auto [known, fresh] = kinds_.try_emplace(folder.native(), fs::file_type::none);
      if (fresh) {
        std::error_code error;
        known->second = fs::symlink_status(folder, error).type();
      }
      if (known->second == fs::file_type::not_found) return;
      if (known->second == fs::file_type::symlink) {
        // A link to nowhere, or a loop (here or behind the link), resolves to no place below the root.
        std::error_code error;
        const bool resolves = !fs::canonical(folder, error).empty() && !error;
        if (!resolves) refuseOutside(location, root_);
        const fs::path resolved = fs::weakly_canonical(location, error);
        if (error || !isBelow(resolved, resolvedRoot_)) refuseOutside(location, root_);
        return;
      }
    }
  }

 private:
  fs::path root_;
  fs::path resolvedRoot_;
  bool rootExists_ = false;
  std::unordered_map<std::string, fs::file_type> kinds_;
};

}  // namespace

bool AsyncImporter::hasFolderName(const Filename& record) {
  return record.processedName().find_first_not_of('/') != std::string::npos;
}

std::vector<fs::path> AsyncImporter::folderURLs(const Filename& record, const fs::path& root) const {
  if (!hasFolderName(record)) {
    platform::log("Skipping \"" + record.filename() + "\": its folder name is empty");
    return {};
  }
  fs::path folder = root;
  appendComponents(folder, record.processedName());
  if (record.processedSubDirs().empty()) return {folder};

  std::vector<fs::path> locations;
  locations.reserve(record.processedSubDirs().size());
  for (const std::string& subfolder : record.processedSubDirs()) {
    fs::path location = folder;
    appendComponents(location, subfolder);
    locations.push_back(std::move(location));
  }
  return locations;
}

std::vector<fs::path> AsyncImporter::allFolderURLs(const fs::path& root) const {
  std::vector<fs::path> locations;
  locations.reserve(fileNames_.size());
  for (const auto& record : fileNames_)
    for (auto& location : folderURLs(*record, root)) locations.push_back(std::move(location));
  return locations;
}

std::size_t AsyncImporter::exportFolders(const fs::path& root) {
  platform::log("Exporting " + std::to_string(fileNames_.size()) + " directories");
  // Every location is known and checked before the first folder is made.
  const std::vector<fs::path> locations = allFolderURLs(root);
  InsideRootCheck insideRoot(root);
  for (const fs::path& location : locations) insideRoot.check(location);
  for (const fs::path& location : locations) platform::createDirectory(location);
  platform::log("Exported " + std::to_string(locations.size()) + " directories");
  return locations.size();
}

}  // namespace Pelmora_Zava
