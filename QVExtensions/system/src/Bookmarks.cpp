#include "QVExtensions/Bookmarks.hpp"

#include <string>

namespace QVExtensions {
namespace {

constexpr std::string_view magic{"PZBKMK1\0", 8};

std::optional<platform::Data> bookmarkData(const std::filesystem::path& location) {
  if (location.empty()) return std::nullopt;
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(location, error);
  if (error || !std::filesystem::exists(absolute, error) || error) return std::nullopt;
  std::string bytes(magic);
  bytes += absolute.native();
  return platform::Data::fromString(bytes);
}

std::optional<std::filesystem::path> resolved(const platform::Data& data) {
  const std::string_view bytes = data.view();
  if (!bytes.starts_with(magic)) return std::nullopt;
  const std::string_view path = bytes.substr(magic.size());
  if (!path.starts_with('/') || path.find('\0') != std::string_view::npos) return std::nullopt;
  std::filesystem::path location(path);
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
