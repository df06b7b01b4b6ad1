#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "platform/io/FileSystem.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

class FileSystem : public ::testing::Test {
 protected:
  TemporaryDirectory folder_;
  std::filesystem::path root_ = folder_.path() / "root";
};

TEST_F(FileSystem, CreatesIntermediatesAndAcceptsExistingFolders) {
  const auto folder = root_ / "a" / "b" / "c";
  createDirectory(folder);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  std::ofstream(folder / "keep.txt") << "x";
  createDirectory(folder);  // again: nothing changes
  EXPECT_TRUE(std::filesystem::exists(folder / "keep.txt"));
}

TEST_F(FileSystem, FileInTheWayNamesTheFolderAndTheReason) {
  std::filesystem::create_directories(root_);
  std::ofstream(root_ / "file") << "x";
  std::filesystem::create_symlink("file", root_ / "link");
  ASSERT_EQ(::mkfifo((root_ / "fifo").c_str(), 0600), 0);
  std::filesystem::create_symlink("fifo", root_ / "fifolink");
  using Type = std::filesystem::file_type;
  struct Case {
    std::filesystem::path folder;
    int errorNumber;
    std::filesystem::path obstacle;
    Type type = Type::regular;  // a link's is where it leads
  };
  const Case cases[] = {{root_ / "file", ENOTDIR, root_ / "file"},
                        {root_ / "file" / "inner" / "deeper", ENOTDIR, root_ / "file"},
                        {root_ / "link" / "inner", ENOTDIR, root_ / "link"},
                        {root_ / "fifo" / "inner", ENOTDIR, root_ / "fifo", Type::fifo},
                        {root_ / "fifolink" / "inner", ENOTDIR, root_ / "fifolink", Type::fifo}};
  for (const Case& c : cases) {
    const std::optional<Obstacle> found = fileInTheWay(c.folder);
    ASSERT_TRUE(found) << c.folder;
    EXPECT_EQ(found->path, c.obstacle);
    EXPECT_EQ(found->type, c.type) << c.folder;
    try {
      createDirectory(c.folder);
      ADD_FAILURE() << c.folder;
    } catch (const FileSystemError& error) {
      EXPECT_EQ(error.code(), c.errorNumber);
      EXPECT_EQ(error.domain(), "FileSystem");
      EXPECT_NE(error.description().find(c.folder.string()), std::string::npos) << error.description();
      EXPECT_EQ(error.failureReason(), std::string(std::strerror(c.errorNumber)));
    }
  }
  // Parts that are missing hide nothing: the folder can still be made.
  EXPECT_FALSE(fileInTheWay(root_ / "missing" / "file"));
  EXPECT_FALSE(fileInTheWay(root_));
}

}  // namespace
}  // namespace platform
