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

struct NameParts {
  std::string base;
  std::string extension;  // without its full stop
};

// A name that ends in a full stop has no extension: "b." is a base name of its own.
NameParts nameParts(const std::filesystem::path& location) {
  std::string name = location.filename().string();
  const std::string extension = location.extension().string();
  if (extension.size() <= 1) return {std::move(name), {}};
  name.resize(name.size() - extension.size());
  return {std::move(name), extension.substr(1)};
}

}  // namespace

std::string baseName(const std::filesystem::path& location) { return nameParts(withoutTrailingSeparator(location)).base; }

void replacePathExtension(std::filesystem::path& location, std::string_view extension) {
  location = withoutTrailingSeparator(location);
  location.replace_filename(nameParts(location).base);
  appendExtension(location, extension);
}

std::filesystem::path replacingPathExtension(const std::filesystem::path& location, std::string_view extension) {
  std::filesystem::path result = location;
  replacePathExtension(result, extension);
  return result;
}

void rename(std::filesystem::path& location, std::string_view name, bool keepExtension) {
  location = withoutTrailingSeparator(location);
  const std::string extension = nameParts(location).extension;
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
  const NameParts parts = nameParts(file);
  std::filesystem::path result = file.parent_path() /
                                 incrementingTrailingNumber(parts.base, separator, format, start, step);
  appendExtension(result, parts.extension);
  return result;
}

void incrementTrailingNumber(std::filesystem::path& location, std::int64_t start, std::int64_t step,
                             std::string_view format, std::string_view separator) {
  location = incrementingTrailingNumber(location, start, step, format, separator);
}

}  // namespace QVExtensions
