#pragma once
// A folder opened without letting the kernel follow any link: from "/" one component at a time, each
// link checked and followed by hand. Whoever may change a folder or link on the way decides where the
// path leads, so only what the effective user or root owns is trusted, and a folder that others may
// write only with its sticky bit (as /tmp), which keeps them from replacing what is not theirs.

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/io/UniqueDescriptor.hpp"

namespace platform {

struct TrustedFolder {
  UniqueDescriptor descriptor;  // empty unless the whole path was trusted and opened
  std::string refusal;          // the component not trusted and why: "<path>, which is ..."
  int error = 0;                // otherwise the errno of the failure; ENOENT: missing (and not to be made)
};

/// Opens `folder`; a relative one from the open folder `relativeTo` (at `relativeToPath`, for the
/// messages) when given, else from the working folder. With `make`, missing folders are made, private
/// to the user.
TrustedFolder openTrustedFolder(const std::filesystem::path& folder, bool make, int relativeTo = -1,
                                const std::filesystem::path& relativeToPath = {});

/// Whether the effective user, or root, owns what `info` describes: only they may be trusted with it.
bool ownedByTrustedUser(const struct stat& info);

/// The target of the link `name` in the open folder `folder`; nothing, with errno set, when it cannot be read.
std::optional<std::filesystem::path> linkTarget(int folder, const std::string& name);

}  // namespace platform
