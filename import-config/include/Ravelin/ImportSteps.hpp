#pragma once
// The import steps that the subscription-driven importers share: the log line, and a
// file read now whose bytes are handed over on the main queue. Call on the main thread.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/FileType.hpp"

namespace Ravelin {

/// Logs "Importing " + the type identifier (or "unknown type") + `source` (" from url", ...).
void logImport(const std::optional<std::string>& typeIdentifier, std::string_view source);

/// Reads the file's bytes and type identifier now, throwing the platform's error naming the file
/// when either fails; then, on the main queue and only while `owner` lives, calls
/// `apply(owner, bytes, typeIdentifier)` and logs the import " from url".
template <typename Owner, typename Apply>
void importFileOnMainQueue(const std::filesystem::path& file, std::weak_ptr<Owner> owner, Apply apply) {
  platform::Data bytes = platform::readFile(file);
  std::optional<std::string> typeIdentifier = platform::fileTypeIdentifier(file);
  platform::MainQueue::shared().async([owner = std::move(owner), apply = std::move(apply), bytes = std::move(bytes),
                                       typeIdentifier = std::move(typeIdentifier)]() mutable {
    std::shared_ptr<Owner> strong = owner.lock();
    if (!strong) return;
    apply(*strong, std::move(bytes), typeIdentifier);
    logImport(typeIdentifier, " from url");
  });
}

}  // namespace Ravelin
