#pragma once
// The checked opens with the folder that names a process's open descriptors given, so that
// a test can run them as where /proc is not mounted.

#include "platform/io/CheckedFile.hpp"

namespace platform::checked {

/// Where the running process's descriptors are named by number; a folder that does not
/// exist stands for a system without /proc.
inline constexpr const char* descriptorFolder = "/proc/self/fd";

CheckedFile openForReading(const std::filesystem::path& file,
                           const std::function<OpenDecision(const struct stat&)>& decide, const char* folder);

std::optional<std::vector<std::uint8_t>> readStart(int written, const std::filesystem::path& file, std::size_t length,
                                                   const char* folder);

}  // namespace platform::checked
