#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <system_error>

#include "platform/io/FileData.hpp"
#include "platform/io/FileURL.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "platform/io/UniqueDescriptor.hpp"

namespace platform {
namespace {

mode_t permissionsOf(const std::filesystem::path& file) {
  struct stat info {};
  ::stat(file.c_str(), &info);
  return info.st_mode & 07777;
}

std::size_t entriesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(FileData, ReadsWholeFilesAndNamesTheOnesItCannot) {
  TemporaryDirectory folder;
  const auto file = folder.path() / "names.csv";
  std::ofstream(file, std::ios::binary) << std::string(200000, 'x');
  EXPECT_EQ(readFile(file).size(), 200000u);
  // A datasource may be a pipe, such as a shell's process substitution gives.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "a,b\n", 4), 4);
  ::close(ends[1]);
  EXPECT_EQ(readFile("/dev/fd/" + std::to_string(ends[0])), Data::fromString("a,b\n"));
  ::close(ends[0]);
  struct Case {
    std::filesystem::path path;
    std::int64_t code;
  };
  const Case cases[] = {{folder.path() / "missing.csv", 260}, {folder.path(), 256}, {folder.path() / "gone/", 260}};
  for (const Case& c : cases) {
    try {
      readFile(c.path);
      ADD_FAILURE() << c.path;
    } catch (const Error& error) {
      EXPECT_EQ(error.code(), c.code) << c.path;
      EXPECT_EQ(error.userInfo().get<std::string>("NSFilePath"), c.path.string());
      // The message names the file, also when its location ends in a separator.
      EXPECT_NE(error.description().find("\u201C" + lastPathComponent(c.path) + "\u201D"), std::string::npos);
      EXPECT_EQ(error.description().find("\u201C\u201D"), std::string::npos) << error.description();
    }
  }
}

// Reads stop at the first byte past the limit, whatever the input, and an input that never
// ends is refused instead of filling the memory.
TEST(FileData, ReadsToTheEndWithinALimit) {
  TemporaryDirectory folder;
  const auto file = folder.path() / "names.csv";
  std::ofstream(file, std::ios::binary) << "Name\nAnna\n";
  struct Case {
    std::string bytes;
    std::size_t limit;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"Name\nAnna\n", 10, "Name\nAnna\n"}, {"Name\nAnna\n", 9, std::nullopt},
      {"", 0, ""},                               {"x", 0, std::nullopt},
      {std::string(200000, 'x'), 200000, std::string(200000, 'x')},
      {std::string(200001, 'x'), 200000, std::nullopt},
  };
  for (const Case& c : cases) {
    // Through a pipe from another process, since the bytes may not fit the pipe's buffer.
    const std::string bytesFile = (folder.path() / "bytes").string();
    std::ofstream(bytesFile, std::ios::binary | std::ios::trunc) << c.bytes;
    FILE* pipe = ::popen(("cat '" + bytesFile + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const std::optional<Data> read = readToEnd(::fileno(pipe), c.limit);
    ::pclose(pipe);
    EXPECT_EQ(read.has_value(), c.expected.has_value()) << c.limit;
    if (read && c.expected) {
      EXPECT_EQ(read->view(), *c.expected);
    }

    UniqueDescriptor descriptor{::open(bytesFile.c_str(), O_RDONLY | O_CLOEXEC)};
    const std::optional<Data> fromFile = readToEnd(descriptor.get(), c.limit);
    EXPECT_EQ(fromFile.has_value(), c.expected.has_value()) << c.limit;
    if (fromFile && c.expected) {
      EXPECT_EQ(fromFile->view(), *c.expected);
    }
  }

  // A file larger than the limit is refused by its size, before any byte is read.
  {
    UniqueDescriptor large{::open(file.c_str(), O_RDWR | O_CLOEXEC)};
    ASSERT_EQ(::ftruncate(large.get(), off_t{1} << 31), 0);  // sparse: takes no room on the disk
    EXPECT_EQ(readToEnd(large.get(), std::size_t{1} << 30), std::nullopt);
    EXPECT_EQ(::lseek(large.get(), 0, SEEK_CUR), 0);
  }

  // An endless writer, as `yes` on standard input.
  FILE* endless = ::popen("yes", "r");
  ASSERT_NE(endless, nullptr);
  EXPECT_EQ(readToEnd(::fileno(endless), std::size_t{1} << 20), std::nullopt);
  ::pclose(endless);  // `yes` ends on the closed pipe

  UniqueDescriptor writeOnly{::open(file.c_str(), O_WRONLY | O_CLOEXEC)};
  EXPECT_THROW(readToEnd(writeOnly.get()), std::system_error);
}

TEST(FileData, AtomicWritesKeepModesAndLinks) {
  TemporaryDirectory folder;
  const auto fresh = folder.path() / "fresh.json";
  writeFileAtomically(fresh, Data::fromString("{}"), 0600);
  EXPECT_EQ(readFile(fresh).view(), "{}");
  EXPECT_EQ(permissionsOf(fresh), 0600u);

  // The file's own mode wins over the default, write for others included.
  for (const mode_t mode : {0640u, 0666u}) {
    const auto existing = folder.path() / ("existing" + std::to_string(mode) + ".json");
    std::ofstream(existing) << "old";
    ::chmod(existing.c_str(), mode);
    writeFileAtomically(existing, Data::fromString("new"), 0600);
    EXPECT_EQ(readFile(existing).view(), "new");
    EXPECT_EQ(permissionsOf(existing), mode);
  }

  // The link stays a link, and the target is replaced in its own folder.
  std::filesystem::create_directory(folder.path() / "real");
  const auto target = folder.path() / "real" / "settings.plist";
  std::ofstream(target) << "old";
  const auto link = folder.path() / "settings.plist";
  std::filesystem::create_symlink("real/settings.plist", link);
  writeFileAtomically(link, Data::fromString("through the link"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(target).view(), "through the link");
  EXPECT_EQ(entriesIn(folder.path() / "real"), 1u);
}

// Root replacing another user's file gives the new one no permission the old one lacked: private text
// stays private, and a file planted open to all gets no more than the default.
TEST(FileData, AtomicWriteOverAnotherUsersFileNeverWidensItsMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a file to another user";
  TemporaryDirectory folder;
  const mode_t previousMask = ::umask(022);
  struct Case {
    std::string name;
    mode_t before;
    std::optional<mode_t> mode;  // asked for
    mode_t after;
  };
  const Case cases[] = {
      {"private", 0600, std::nullopt, 0600},
      {"open-to-all", 0666, std::nullopt, 0644},
      {"read-only", 0400, std::nullopt, 0400},
      {"group-readable-asked-private", 0640, 0600, 0600},
      {"private-asked-open", 0600, 0666, 0600},
  };
  for (const Case& c : cases) {
    const auto file = folder.path() / c.name;
    std::ofstream(file) << "theirs";
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(file.c_str(), c.before), 0);
    writeFileAtomically(file, Data::fromString("mine"), c.mode);
    EXPECT_EQ(readFile(file).view(), "mine") << c.name;
    EXPECT_EQ(permissionsOf(file), c.after) << c.name;
  }
  ::umask(previousMask);
}

// The name written is the one that was checked in the folder held, whatever was put there since: a link
// planted between the check and the write is replaced by the file, and neither what it leads to nor its
// mode is touched; a folder moved away still receives the file.
TEST(FileData, AtomicWriteInAHeldFolderNeverResolvesTheNameAgain) {
  TemporaryDirectory root;
  const auto held = root.path() / "held";
  const auto outside = root.path() / "outside";
  std::filesystem::create_directory(held);
  std::filesystem::create_directory(outside);
  std::ofstream(outside / "victim") << "theirs";
  ::chmod((outside / "victim").c_str(), 0666);
  UniqueDescriptor folder{::open(held.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  ASSERT_TRUE(folder);
  struct Case {
    std::string name;
    std::filesystem::path planted;  // a link to this; empty: a file of mine, mode 0640
    mode_t mode;
  };
  const Case cases[] = {
      {"to-a-file", outside / "victim", 0600},
      {"to-a-missing-file", outside / "made", 0600},
      {"to-a-folder", outside, 0600},
      {"relative", "../outside/victim", 0600},
      {"mine", "", 0640},
  };
  for (const Case& c : cases) {
    struct stat checked {};
    ASSERT_NE(::fstatat(folder.get(), c.name.c_str(), &checked, AT_SYMLINK_NOFOLLOW), 0);  // the check: missing
    if (c.planted.empty()) {
      std::ofstream(held / c.name) << "old";
      ::chmod((held / c.name).c_str(), 0640);
    } else {
      std::filesystem::create_symlink(c.planted, held / c.name);
    }
    writeFileAtomicallyAt(folder.get(), c.name, Data::fromString("settings"), 0600);
    EXPECT_FALSE(std::filesystem::is_symlink(held / c.name)) << c.name;
    EXPECT_EQ(readFile(held / c.name).view(), "settings") << c.name;
    EXPECT_EQ(permissionsOf(held / c.name), c.mode) << c.name;
  }
  EXPECT_EQ(readFile(outside / "victim").view(), "theirs");
  EXPECT_EQ(permissionsOf(outside / "victim"), 0666u);
  EXPECT_EQ(entriesIn(outside), 1u);
  EXPECT_EQ(entriesIn(held), std::size(cases));  // no temporary file left

  // A name that would be resolved through a folder is refused.
  EXPECT_THROW(writeFileAtomicallyAt(folder.get(), "../outside/victim", Data::fromString("x")), Error);
  EXPECT_EQ(readFile(outside / "victim").view(), "theirs");

  std::filesystem::rename(held, root.path() / "moved");
  std::filesystem::create_directory(held);
  writeFileAtomicallyAt(folder.get(), "after-the-move", Data::fromString("x"));
  EXPECT_EQ(readFile(root.path() / "moved" / "after-the-move").view(), "x");
  EXPECT_EQ(entriesIn(held), 0u);
}

TEST(FileData, FailedWritesLeaveTheOldFileAndNoTemporaryFile) {
  TemporaryDirectory folder;
  // A folder in the way: the rename fails after the temporary file was written.
  std::filesystem::create_directory(folder.path() / "taken");
  std::ofstream(folder.path() / "taken" / "inside") << "kept";
  EXPECT_THROW(writeFileAtomically(folder.path() / "taken", Data::fromString("x")), Error);
  EXPECT_EQ(readFile(folder.path() / "taken" / "inside").view(), "kept");
  EXPECT_EQ(entriesIn(folder.path()), 1u);

  try {
    writeFileAtomically(folder.path() / "missing" / "file.json", Data::fromString("x"));
    FAIL() << "written";
  } catch (const Error& error) {
    EXPECT_EQ(error.code(), 4);
    EXPECT_EQ(error.description(), "The folder \u201Cmissing\u201D doesn\u2019t exist.");
  }
}

}  // namespace
}  // namespace platform
