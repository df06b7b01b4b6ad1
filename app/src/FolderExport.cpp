#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FolderChain.hpp"
#include "FolderNames.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Pelmora_Zava/ControlCharacters.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"

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

// A location that does not lie below the root, for `reason`.
[[noreturn]] void refuseLocation(std::int64_t code, const fs::path& location, std::string reason,
                                 std::string recovery) {
  throw platform::Error(exportDomain, code,
                        "The folder " + quoted(location.string()) + " would lie outside the export folder.",
                        platform::Error::Details{std::move(reason), std::nullopt, std::move(recovery),
                                                 platform::UserInfo().add("Folder", location.string()), nullptr});
}

}  // namespace

void refuseOutside(const fs::path& location, const fs::path& root) {
  refuseLocation(2, location,
                 "A symbolic link inside " + quoted(root.string()) + " leads to a place outside it, or to nowhere.",
                 "Remove the link or choose another export folder.");
}

void refuseMoved(const fs::path& location, const fs::path& moved) {
  refuseLocation(3, location,
                 "The folder " + quoted(moved.string()) + " was moved while the export ran.",
                 "Leave the folders in place until the export ends, then export again.");
}

namespace {

using Components = FolderChain::Components;

// A name may hold slashes (when illegal characters are kept): each piece becomes one
// nested folder. Pieces that would leave the folder they are appended to are refused.
void appendComponents(std::vector<std::string_view>& components, std::string_view name) {
  const bool taken = splitFolderName(name, [&](std::string_view component) {
    if (!component.empty()) components.push_back(component);
  });
  if (!taken) refuse(std::string(name));
}

// The locations of one record as components below the root, one at a time; the views point
// into the record's names. Nothing is held from one location to the next.
template <class Visit>
void forEachLocation(const Filename& record, bool logSkipped, std::vector<std::string_view>& components,
                     Visit&& visit) {
  if (!AsyncImporter::hasFolderName(record)) {
    if (logSkipped) platform::log("Skipping \"" + record.filename() + "\": its folder name is empty");
    return;
  }
  components.clear();
  appendComponents(components, record.processedName());
  if (record.processedSubDirs().empty()) return visit(Components(components));
  const std::size_t folderDepth = components.size();
  for (const std::string& subfolder : record.processedSubDirs()) {
    components.resize(folderDepth);
    appendComponents(components, subfolder);
    visit(Components(components));
  }
}

template <class Visit>
void forEachLocation(const AsyncImporter::FilenameList& records, bool logSkipped, Visit&& visit) {
  std::vector<std::string_view> components;
  for (const auto& record : records) forEachLocation(*record, logSkipped, components, visit);
}

}  // namespace

bool AsyncImporter::hasFolderName(const Filename& record) {
  return record.processedName().find_first_not_of('/') != std::string::npos;
}

std::vector<fs::path> AsyncImporter::folderURLs(const Filename& record, const fs::path& root) const {
  std::vector<fs::path> locations;
  std::vector<std::string_view> components;
  forEachLocation(record, true, components,
                  [&](Components location) { locations.push_back(locationBelow(root, location)); });
  return locations;
}

std::vector<fs::path> AsyncImporter::allFolderURLs(const fs::path& root) const {
  std::vector<fs::path> locations;
  forEachFolderURL(root, [&](const fs::path& location) { locations.push_back(location); });
  return locations;
}

void AsyncImporter::forEachFolderURL(const fs::path& root, const std::function<void(const fs::path&)>& visit) const {
  forEachLocation(fileNames_, true, [&](Components location) { visit(locationBelow(root, location)); });
}

void AsyncImporter::forEachFolderLocation(const std::function<void(std::span<const std::string_view>)>& visit) const {
  forEachLocation(fileNames_, false, visit);
}

void AsyncImporter::checkFolderLocations(const fs::path& root) const {
  FolderChain check(root, FolderChain::Mode::check);
  forEachLocation(fileNames_, false, [&](Components location) { check.visit(location); });
}

namespace {

// Every location made from the root's descriptor, none of them kept: they would outweigh the names.
std::size_t makeFolders(const AsyncImporter::FilenameList& records, const fs::path& root, bool logSkipped) {
  FolderChain maker(root, FolderChain::Mode::make);
  std::size_t made = 0;
  forEachLocation(records, logSkipped, [&](Components location) {
    maker.visit(location);
    ++made;
  });
  platform::log("Exported " + std::to_string(made) + " directories");
  return made;
}

}  // namespace

std::size_t AsyncImporter::exportFolders(const fs::path& root) {
  platform::log("Exporting " + std::to_string(fileNames_.size()) + " directories");
  // A link leading out of the root stops the export before the first folder is made.
  {
    FolderChain check(root, FolderChain::Mode::checkLinks);
    forEachLocation(fileNames_, true, [&](Components location) { check.visit(location); });
  }
  return makeFolders(fileNames_, root, false);
}

std::size_t AsyncImporter::exportCheckedFolders(const fs::path& root) {
  platform::log("Exporting " + std::to_string(fileNames_.size()) + " directories");
  return makeFolders(fileNames_, root, true);
}

std::size_t longestFolderNameOf(const Filename& record) {
  std::size_t longest = 0;
  auto measure = [&](std::string_view component) { longest = std::max(longest, component.size()); };
  if (!splitFolderName(record.processedName(), measure)) return refusedFolderName;
  for (const std::string& subfolder : record.processedSubDirs())
    if (!splitFolderName(subfolder, measure)) return refusedFolderName;
  return longest;
}

}  // namespace Pelmora_Zava
