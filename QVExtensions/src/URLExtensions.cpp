#include "QVExtensions/URLExtensions.hpp"

#include "QVExtensions/StringExtensions.hpp"

namespace QVExtensions {
namespace {

// "/a/b/" names the folder b, as "/a/b" does.
std::filesystem::path withoutTrailingSeparator(const std::filesystem::path& location) {
  std::filesystem::path result = location;
  while (!result.has_filename() && result.has_relative_path()) result = result.parent_path();
  return result;
}

// Appends ".extension" unless the extension is empty.
void appendExtension(std::filesystem::path& location, std::string_view extension) {
  if (extension.empty()) return;
  std::string suffix(1, '.');
  suffix.append(extension);
  location += suffix;
}

std::string extensionText(const std::filesystem::path& location) {
  std::string extension = location.extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  return extension;
}

}  // namespace

std::string baseName(const std::filesystem::path& location) { return withoutTrailingSeparator(location).stem().string(); }

void replacePathExtension(std::filesystem::path& location, std::string_view extension) {
  location = withoutTrailingSeparator(location);
  location.replace_extension();
  appendExtension(location, extension);
}

std::filesystem::path replacingPathExtension(const std::filesystem::path& location, std::string_view extension) {
  std::filesystem::path result = location;
  replacePathExtension(result, extension);
  return result;
}

void rename(std::filesystem::path& location, std::string_view name, bool keepExtension) {
  location = withoutTrailingSeparator(location);
  const std::string extension = extensionText(location);
  location.replace_filename(std::string(name));
  if (keepExtension) appendExtension(location, extension);
}

std::filesystem::path renaming(const std::filesystem::path& location, std::string_view name, bool keepExtension) {
  std::filesystem::path result = location;
  rename(result, name, keepExtension);
  return result;
}

std::filesystem::path incrementingTrailingNumber(const std::filesystem::path& location, std::int64_t start,
                                                 std::int64_t step, std::string_view format, std::string_view separator) {
  const std::filesystem::path file = withoutTrailingSeparator(location);
  const std::string extension = extensionText(file);
  std::filesystem::path result = file.parent_path() /
                                 incrementingTrailingNumber(baseName(file), separator, format, start, step);
  appendExtension(result, extension);
  return result;
}

void incrementTrailingNumber(std::filesystem::path& location, std::int64_t start, std::int64_t step,
                             std::string_view format, std::string_view separator) {
  location = incrementingTrailingNumber(location, start, step, format, separator);
}

}  // namespace QVExtensions
