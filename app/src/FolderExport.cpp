#include <string>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileSystem.hpp"

namespace Pelmora_Zava {
namespace {

constexpr const char* exportDomain = "FolderExport";

[[noreturn]] void refuse(const std::string& name) {
  throw platform::Error(
      exportDomain, 1, "The folder name \xE2\x80\x9C" + name + "\xE2\x80\x9D can\xE2\x80\x99t be used.",
      platform::Error::Details{
          "A folder name may not be \xE2\x80\x9C.\xE2\x80\x9D or \xE2\x80\x9C..\xE2\x80\x9D or hold a NUL character, "
          "since its folder would not lie inside the export folder.",
          std::nullopt, "Replace illegal characters in the export settings or change the name.",
          platform::UserInfo().add("Folder name", name), nullptr});
}

// A name may hold slashes (when illegal characters are kept): each piece becomes one
// nested folder. Pieces that would leave the folder they are appended to are refused.
void appendComponents(std::filesystem::path& location, const std::string& name) {
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

bool hasComponent(const std::string& name) { return name.find_first_not_of('/') != std::string::npos; }

}  // namespace

std::vector<std::filesystem::path> AsyncImporter::folderURLs(const Filename& record,
                                                             const std::filesystem::path& root) const {
  if (!hasComponent(record.processedName())) {
    platform::log("Skipping \"" + record.filename() + "\": its folder name is empty");
    return {};
  }
  std::filesystem::path folder = root;
  appendComponents(folder, record.processedName());
  if (record.processedSubDirs().empty()) return {folder};

  std::vector<std::filesystem::path> locations;
  locations.reserve(record.processedSubDirs().size());
  for (const std::string& subfolder : record.processedSubDirs()) {
    std::filesystem::path location = folder;
    appendComponents(location, subfolder);
    locations.push_back(std::move(location));
  }
  return locations;
}

std::vector<std::filesystem::path> AsyncImporter::allFolderURLs(const std::filesystem::path& root) const {
  std::vector<std::filesystem::path> locations;
  locations.reserve(fileNames_.size());
  for (const auto& record : fileNames_)
    for (auto& location : folderURLs(*record, root)) locations.push_back(std::move(location));
  return locations;
}

std::size_t AsyncImporter::exportFolders(const std::filesystem::path& root) {
  platform::log("Exporting " + std::to_string(fileNames_.size()) + " directories");
  // Every location is known and checked before the first folder is made.
  const std::vector<std::filesystem::path> locations = allFolderURLs(root);
  for (const std::filesystem::path& location : locations) platform::createDirectory(location);
  platform::log("Exported " + std::to_string(locations.size()) + " directories");
  return locations.size();
}

}  // namespace Pelmora_Zava
