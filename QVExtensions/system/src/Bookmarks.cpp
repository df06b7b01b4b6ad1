#include "QVExtensions/Bookmarks.hpp"

#include <zlib.h>

#include <cstdint>
#include <limits>
#include <string>

namespace QVExtensions {
namespace {

constexpr std::string_view legacyMagic{"PZBKMK1\0", 8};
constexpr std::string_view magic{"PZBKMK2\0", 8};
constexpr std::size_t fieldSize = 4;  // the path's length, then the CRC-32, both big-endian

void appendField(std::string& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t readField(std::string_view bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < fieldSize; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

// Covers the length field too, so that no single changed byte leaves a bookmark that reads.
std::uint32_t checksum(std::string_view lengthAndPath) {
  return static_cast<std::uint32_t>(
      ::crc32(0, reinterpret_cast<const Bytef*>(lengthAndPath.data()), static_cast<uInt>(lengthAndPath.size())));
}

std::optional<platform::Data> bookmarkData(const std::filesystem::path& location) {
  if (location.empty()) return std::nullopt;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(location, error);
  if (error || !std::filesystem::exists(absolute, error) || error) return std::nullopt;
  const std::string& path = absolute.native();
  if (path.size() > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  std::string lengthAndPath;
  appendField(lengthAndPath, static_cast<std::uint32_t>(path.size()));
  lengthAndPath += path;
  std::string bytes(magic);
  appendField(bytes, checksum(lengthAndPath));
  bytes += lengthAndPath;
  return platform::Data::fromString(bytes);
}

// The path a bookmark names, when its bytes are whole: data cut short, lengthened or
// altered names nothing. Older bookmarks carry no length, so only their form is checked.
std::optional<std::string_view> storedPath(std::string_view bytes) {
  if (bytes.starts_with(legacyMagic)) return bytes.substr(legacyMagic.size());
  if (!bytes.starts_with(magic) || bytes.size() < magic.size() + 2 * fieldSize) return std::nullopt;
  const std::string_view lengthAndPath = bytes.substr(magic.size() + fieldSize);
  if (readField(lengthAndPath) != lengthAndPath.size() - fieldSize ||
      readField(bytes.substr(magic.size())) != checksum(lengthAndPath))
    return std::nullopt;
  return lengthAndPath.substr(fieldSize);
}

std::optional<std::filesystem::path> resolved(const platform::Data& data) {
  const std::optional<std::string_view> path = storedPath(data.view());
  if (!path || !path->starts_with('/') || path->find('\0') != std::string_view::npos) return std::nullopt;
  std::filesystem::path location(*path);
  std::error_code error;
  if (!std::filesystem::exists(location, error) || error) return std::nullopt;
  return location;
}

}  // namespace

void setBookmark(platform::UserDefaults& defaults, const std::optional<std::filesystem::path>& location,
                 std::string_view key) noexcept {
  try {
    std::optional<platform::Data> data = location ? bookmarkData(*location) : std::nullopt;
    if (data)
      defaults.setObject(platform::PropertyList(std::move(*data)), key);
    else
      defaults.removeObject(key);
  } catch (...) {
    // Out of memory or the like: the key keeps what it held, and nothing is reported, as promised.
  }
}

std::optional<std::filesystem::path> bookmark(const platform::UserDefaults& defaults, std::string_view key) noexcept {
  try {
    const std::optional<platform::PropertyList> value = defaults.objectForKey(key);
    if (!value || !value->data()) return std::nullopt;
    return resolved(*value->data());
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace QVExtensions
