#include "platform/io/FileData.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "platform/io/FileType.hpp"
#include "platform/io/FileURL.hpp"
#include "platform/io/UniqueDescriptor.hpp"

namespace platform {
namespace {

constexpr std::string_view temporaryMarker = ".pz-tmp-";
constexpr std::size_t randomLength = 6;  // mkostemp's XXXXXX

// The file a write lands in: the final target of a chain of symbolic links.
std::filesystem::path writeTarget(const std::filesystem::path& file) {
  std::filesystem::path target = file;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) return target;
    const std::filesystem::path link = std::filesystem::read_symlink(target, error);
    if (error) return target;
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
  return target;  // a loop: the rename fails as the system decides
}

// A new file "<name>.pz-tmp-" and six random letters or digits in `folder`, made there and nowhere else: an
// existing name or a link is never opened. Its name goes to `temporary`; empty with errno on failure.
UniqueDescriptor makeTemporaryFile(int folder, const std::string& name, std::string& temporary) {
  static constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[randomLength];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
      if (errno == EINTR) continue;
      return UniqueDescriptor{};
    }
    temporary = name;
    temporary.append(temporaryMarker);
    for (unsigned char byte : random) temporary += letters[byte % letters.size()];
    UniqueDescriptor made{
        ::openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (made || errno != EEXIST) return made;
  }
  return UniqueDescriptor{};  // errno: EEXIST
}

bool writeAll(int descriptor, const Data& bytes) {
  const std::uint8_t* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t count = ::write(descriptor, next, left);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    next += count;
    left -= static_cast<std::size_t>(count);
  }
  return true;
}

// Makes the memory of a large buffer present in one call rather than a page fault per page
// as it fills, which takes a tenth off the time to read a large file. Whole pages inside the
// buffer only, and only a hint: without the call the pages fault in as before.
void makePresent(const std::uint8_t* buffer, std::size_t size) {
  constexpr std::size_t worthIt = std::size_t{1} << 22;
  if (size < worthIt) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = (reinterpret_cast<std::uintptr_t>(buffer) + page - 1) & ~(page - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(buffer) + size) & ~(page - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

}  // namespace

Data readFile(const std::filesystem::path& file) {
  UniqueDescriptor descriptor{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!descriptor) throw unreadableFileError(file, errno);
  try {
    return *readToEnd(descriptor.get());
  } catch (const std::system_error& error) {
    throw unreadableFileError(file, error.code().value());  // a folder fails here too
  }
}

std::optional<Data> readToEnd(int descriptor, std::size_t limit) {
  const std::size_t ceiling = limit == std::numeric_limits<std::size_t>::max() ? limit : limit + 1;
  std::vector<std::uint8_t> bytes;
  struct stat info {};
  if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
    const off_t offset = std::max<off_t>(::lseek(descriptor, 0, SEEK_CUR), 0);
    if (info.st_size > offset) {
      const auto left = static_cast<std::size_t>(info.st_size - offset);
      if (left > limit) return std::nullopt;
      bytes.reserve(left);
      makePresent(bytes.data(), bytes.capacity());
    }
  }
  std::uint8_t buffer[1 << 16];
  while (bytes.size() < ceiling) {
    const ssize_t count = ::read(descriptor, buffer, std::min(sizeof buffer, ceiling - bytes.size()));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) throw std::system_error(errno, std::generic_category());
    if (count == 0) return Data(std::move(bytes));
    const auto read = static_cast<std::size_t>(count);
    if (bytes.capacity() - bytes.size() < read) {
      // Doubling, except that the last step goes straight to the ceiling: a buffer full at
      // the limit is never copied into one twice its size.
      std::size_t grown = std::max(bytes.capacity() * 2, bytes.size() + read);
      if (grown > ceiling / 2) grown = ceiling;
      bytes.reserve(grown);
    }
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  return std::nullopt;
}

void writeFileAtomically(const std::filesystem::path& file, const Data& bytes, std::optional<mode_t> mode) {
  const std::filesystem::path target = writeTarget(file);
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  UniqueDescriptor folderDescriptor{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  // A folder one may write but not list still takes the file; only its flush is lost.
  if (!folderDescriptor && errno == EACCES)
    folderDescriptor = UniqueDescriptor{::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
  if (!folderDescriptor) throw unwritableFileError(file, errno);
  writeFileAtomicallyAt(folderDescriptor.get(), target.filename().string(), bytes, mode, file);
}

void writeFileAtomicallyAt(int folder, const std::string& name, const Data& bytes, std::optional<mode_t> mode,
                           const std::filesystem::path& file, mode_t withheld) {
  const std::filesystem::path& shown = file.empty() ? std::filesystem::path(name) : file;
  // A name that holds a folder would be resolved on the way, which this write exists to avoid.
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
    throw unwritableFileError(shown, EINVAL);
  // Only the user's own regular file passes its mode on: a link's, or a file planted by another in a
  // shared folder, could make the new file readable or writable by others. Any other file only takes
  // away: another user's private file, replaced by root, stays private.
  struct stat existing {};
  const bool found = ::fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
  const bool keepsMode = found && S_ISREG(existing.st_mode) && existing.st_uid == ::geteuid();
  std::string temporary;
  UniqueDescriptor descriptor = makeTemporaryFile(folder, name, temporary);
  if (!descriptor) throw unwritableFileError(shown, errno);

  int failure = 0;
  errno = 0;
  mode_t permissions = mode.value_or(0);
  if (!mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    permissions = 0666 & ~mask;
  }
  if (keepsMode)
    permissions = existing.st_mode & 07777;
  else if (found)
    permissions &= existing.st_mode & 0777;
  permissions &= ~withheld;
  if (::fchmod(descriptor.get(), permissions) != 0 || !writeAll(descriptor.get(), bytes) ||
      ::fsync(descriptor.get()) != 0)
    failure = errno ? errno : EIO;
  if (descriptor.reset() != 0 && failure == 0) failure = errno;
  // Onto the name itself, never resolved again: whatever lies there now, a link included, is replaced.
  if (failure == 0 && ::renameat(folder, temporary.c_str(), folder, name.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlinkat(folder, temporary.c_str(), 0);
    throw unwritableFileError(shown, failure);
  }
  // The rename itself is durable only once the folder is flushed too; best effort.
  ::fsync(folder);
}

bool isTemporaryFileName(std::string_view name, std::string_view fileName) {
  if (name.size() != fileName.size() + temporaryMarker.size() + randomLength || !name.starts_with(fileName) ||
      name.substr(fileName.size(), temporaryMarker.size()) != temporaryMarker)
    return false;
  return std::all_of(name.end() - randomLength, name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

Error unwritableFileError(const std::filesystem::path& file, int error) {
  const std::string name = lastPathComponent(file);
  Error::Details details;
  details.userInfo.add("NSFilePath", file.string());
  details.userInfo.add("NSUnderlyingError", std::string(std::strerror(error)));
  if (error == ENOENT || error == ENOTDIR)
    return Error("NSCocoaErrorDomain", 4,
                 "The folder \u201C" + file.parent_path().filename().string() + "\u201D doesn\u2019t exist.",
                 std::move(details));
  if (error == EACCES || error == EPERM || error == EROFS)
    return Error("NSCocoaErrorDomain", 513,
                 "You don\u2019t have permission to save the file \u201C" + name + "\u201D.", std::move(details));
  if (error == ENOSPC || error == EDQUOT)
    return Error("NSCocoaErrorDomain", 640,
                 "The file \u201C" + name + "\u201D couldn\u2019t be saved because there isn\u2019t enough space.",
                 std::move(details));
  return Error("NSCocoaErrorDomain", 512, "The file \u201C" + name + "\u201D couldn\u2019t be saved.", std::move(details));
}

}  // namespace platform
