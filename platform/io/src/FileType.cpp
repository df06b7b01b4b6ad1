#include "platform/io/FileType.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/core/Error.hpp"
#include "platform/io/FileURL.hpp"

namespace platform {
namespace {

struct TypeByExtension {
  std::string_view extension;
  std::string_view identifier;
};

constexpr std::array<TypeByExtension, 6> types{{
    {"csv", "public.comma-separated-values-text"},
    {"tsv", "public.tab-separated-values-text"},
    {"tab", "public.tab-separated-values-text"},
    {"txt", "public.plain-text"},
    {"text", "public.plain-text"},
    {"rtf", "public.rtf"},
}};

}  // namespace

Error unreadableFileError(const std::filesystem::path& file, int error) {
  const std::string name = lastPathComponent(file);
  Error::Details details;
  details.userInfo.add("NSFilePath", file.string());
  details.userInfo.add("NSUnderlyingError", std::string(std::strerror(error)));
  if (error == ENOENT || error == ENOTDIR)
    return Error("NSCocoaErrorDomain", 260,
                 "The file \u201C" + name + "\u201D couldn\u2019t be opened because there is no such file.",
                 std::move(details));
  if (error == EACCES || error == EPERM)
    return Error("NSCocoaErrorDomain", 257,
                 "The file \u201C" + name + "\u201D couldn\u2019t be opened because you don\u2019t have permission to view it.",
                 std::move(details));
  return Error("NSCocoaErrorDomain", 256, "The file \u201C" + name + "\u201D couldn\u2019t be opened.", std::move(details));
}

std::optional<std::string> fileTypeIdentifier(const std::filesystem::path& file) {
  struct stat status {};
  if (::stat(file.c_str(), &status) != 0) throw unreadableFileError(file, errno);
  if (S_ISDIR(status.st_mode)) return std::nullopt;  // a folder is no datasource, whatever its name
  if (::faccessat(AT_FDCWD, file.c_str(), R_OK, AT_EACCESS) != 0) throw unreadableFileError(file, errno);
  return typeIdentifierForExtension(file);
}

std::optional<std::string> typeIdentifierForExtension(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  if (extension.empty()) return std::nullopt;
  extension.erase(0, 1);
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  for (const TypeByExtension& type : types)
    if (type.extension == extension) return std::string(type.identifier);
  return std::nullopt;
}

}  // namespace platform
