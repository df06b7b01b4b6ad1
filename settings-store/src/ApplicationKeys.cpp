#include "Defaults/ApplicationKeys.hpp"

namespace Pelmora_Zava {

const Defaults::Key<bool>& allowFolderCountLoggingKey() {
  static const Defaults::Key<bool> key("AllowFolderCountLogging", true);
  return key;
}

const Defaults::Key<std::int64_t>& foldersCreatedCountKey() {
  static const Defaults::Key<std::int64_t> key("FoldersCreatedCount", 0);
  return key;
}

}  // namespace Pelmora_Zava
