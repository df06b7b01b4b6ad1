#pragma once
// The export's walk over its folders, from a descriptor of the root: every level is opened
// without following links, so a link planted while the export runs is met and judged instead
// of being followed by a path. Only the descriptors of the current location's levels are
// held, whatever the number of folders. A held level can still be moved away while the export
// runs, so each folder made is followed by a check that the level it was made in still lies
// below the root: a level moved out of the root receives at most the one folder made meanwhile.
// The check resolves the level's names from the root in one system call that may not leave the
// root and compares what it reaches with the level held; where the system cannot resolve so, or
// reaches something else, every held level is checked against the one above it, as a level or
// two below the root always are.

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io/UniqueDescriptor.hpp"

namespace Pelmora_Zava {

/// Throws the export's error for `location`, which a link below `root` leads out of the root.
[[noreturn]] void refuseOutside(const std::filesystem::path& location, const std::filesystem::path& root);

/// Throws the export's error for `location`, which lies in `moved`, a folder moved out of the
/// folder it was opened from while the export ran: out of the root, or under another folder in it.
[[noreturn]] void refuseMoved(const std::filesystem::path& location, const std::filesystem::path& moved);

/// The location with these components below `root`.
std::filesystem::path locationBelow(const std::filesystem::path& root, std::span<const std::string_view> components);

class FolderChain {
 public:
  using Components = std::span<const std::string_view>;

  /// `checkLinks` only looks for links that lead out of the root; `check` looks, without making
  /// anything, for everything `make` would stop at below the root; `make` creates what is missing.
  enum class Mode { checkLinks, check, make };

  FolderChain(std::filesystem::path root, Mode mode);

  /// Checks or makes one location, given as its non-empty list of components below the root.
  /// A link is entered only when the folder it opens lies below the root; any other link
  /// throws the outside-the-root error, and a held level found moved out of the root after a
  /// folder was made in it throws the moved-out error. In make mode a folder that cannot be
  /// made throws the file system's error naming the location, and the file in the way when
  /// there is one; the root is made with the first location. Check mode throws the same for a
  /// file in the way, and "File name too long" for a name from the first missing level on that
  /// is longer than the deepest existing folder's file system takes; nothing below a root that
  /// cannot be opened is checked.
  void visit(Components components);

  /// Called with each folder's location right after it is made, before it is checked.
  void afterMaking(std::function<void(const std::filesystem::path&)> made) { afterMaking_ = std::move(made); }
  /// Checks every held level after each folder, as where the system cannot resolve beneath a folder.
  void checkEveryLevel() { resolveBeneath_ = false; }

 private:
  using Descriptor = platform::UniqueDescriptor;
  struct Level {
    std::string name;
    Descriptor descriptor;
    bool throughLink = false;  // then its parent is wherever the link led, not the level above
    struct stat status {};     // of the folder held, once a folder has been made in it or below
    bool statusKnown = false;
    std::size_t pathEnd = 0;   // the length of `heldPath_` up to this level's name
    std::optional<std::size_t> nameLimit{};  // of its file system, once a name needed it
  };
  bool openRoot(Components components);
  std::optional<Level> enter(int parent, std::string name, Components components);
  void push(Level level);
  bool statusOf(Level& level);
  void made(Components location);
  bool deepestResolvesBeneathRoot();
  std::optional<std::size_t> levelOutOfPlace();
  void finish(int parent, const std::string& name, Components components);
  void checkNewNames(Components components, std::size_t from);
  Descriptor follow(int parent, const std::string& name, bool strictlyBelow, Components components,
                    std::size_t depth);
  bool liesBelowRoot(int folder, bool strictlyBelow) const;
  [[noreturn]] void fail(int errorNumber, Components components, std::optional<std::size_t> obstacleDepth = std::nullopt,
                         std::filesystem::file_type obstacleType = std::filesystem::file_type::regular) const;
  [[noreturn]] void refuseLink(Components components) const;

  std::filesystem::path rootPath_;
  Mode mode_;
  Descriptor root_;
  struct stat rootStatus_ {};
  bool rootMissing_ = false;
  std::optional<std::size_t> rootNameLimit_;
  std::vector<Level> chain_;  // the opened levels above the last location's folder
  std::string heldPath_;      // their names from the root, joined by slashes
  bool resolveBeneath_ = true;
  std::function<void(const std::filesystem::path&)> afterMaking_;
};

}  // namespace Pelmora_Zava
