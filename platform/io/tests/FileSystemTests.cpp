#include <gtest/gtest.h>

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
  struct Case {
    std::filesystem::path folder;
    int errorNumber;
    std::filesystem::path obstacle;
  };
  const Case cases[] = {{root_ / "file", ENOTDIR, root_ / "file"},
                        {root_ / "file" / "inner" / "deeper", ENOTDIR, root_ / "file"},
                        {root_ / "link" / "inner", ENOTDIR, root_ / "link"}};
  for (const Case& c : cases) {
    EXPECT_EQ(fileInTheWay(c.folder), c.obstacle);
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
  EXPECT_EQ(fileInTheWay(root_ / "missing" / "file"), std::nullopt);
  EXPECT_EQ(fileInTheWay(root_), std::nullopt);
}

}  // namespace
}  // namespace platform
