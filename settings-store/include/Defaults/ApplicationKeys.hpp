#pragma once
// The application's two settings, on the standard suite. Each key is made once,
// on first use, from any thread; making it registers its default.

#include <cstdint>

#include "Defaults/Key.hpp"

namespace Pelmora_Zava {

/// Whether each export's folder count is reported; on by default.
const Defaults::Key<bool>& allowFolderCountLoggingKey();
/// The running count of created folders; 0 by default.
const Defaults::Key<std::int64_t>& foldersCreatedCountKey();

}  // namespace Pelmora_Zava
