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
  struct Case {
    std::filesystem::path folder;
    int errorNumber;
  };
  const Case cases[] = {{root_ / "file", ENOTDIR}, {root_ / "file" / "inner", ENOTDIR}};
  for (const Case& c : cases) {
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
}

}  // namespace
}  // namespace platform
