#pragma once
// The export's walk over its folders, from a descriptor of the root: every level is opened
// without following links, so a link planted while the export runs is met and judged instead
// of being followed by a path. Only the descriptors of the current location's levels are
// held, whatever the number of folders. A held level can still be moved away while the export
// runs, so each folder made is followed by a check that every held level still sits where it
// was opened: a level moved out of the root receives at most the one folder made meanwhile.

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io/UniqueDescriptor.hpp"

namespace Pelmora_Zava {

/// Throws the export's error for `location`, which a link below `root` leads out of the root.
[[noreturn]] void refuseOutside(const std::filesystem::path& location, const std::filesystem::path& root);

/// The location with these components below `root`.
std::filesystem::path locationBelow(const std::filesystem::path& root, std::span<const std::string_view> components);

class FolderChain {
 public:
  using Components = std::span<const std::string_view>;

  /// `check` only looks at what exists; `make` creates what is missing.
  enum class Mode { check, make };

  FolderChain(std::filesystem::path root, Mode mode);

  /// Checks or makes one location, given as its non-empty list of components below the root.
  /// A link is entered only when the folder it opens lies below the root; any other link
  /// throws the outside-the-root error, as does a held level found moved after a folder was
  /// made in it. In make mode a folder that cannot be made throws the file system's error
  /// naming the location; the root is made with the first location.
  void visit(Components components);

 private:
  using Descriptor = platform::UniqueDescriptor;
  struct Level {
    std::string name;
    Descriptor descriptor;
    bool throughLink = false;  // then its parent is wherever the link led, not the level above
    struct stat status {};     // of the folder held, once a level below has needed it
    bool statusKnown = false;
  };
  bool openRoot(Components components);
  std::optional<Level> enter(int parent, std::string name, Components components);
  bool heldLevelsInPlace();
  void finish(int parent, const std::string& name, Components components);
  Descriptor follow(int parent, const std::string& name, bool strictlyBelow, Components components);
  bool liesBelowRoot(int folder, bool strictlyBelow) const;
  [[noreturn]] void fail(int errorNumber, Components components) const;
  [[noreturn]] void refuseLink(Components components) const;

  std::filesystem::path rootPath_;
  Mode mode_;
  Descriptor root_;
  struct stat rootStatus_ {};
  bool rootMissing_ = false;
  std::vector<Level> chain_;  // the opened levels above the last location's folder
};

}  // namespace Pelmora_Zava
