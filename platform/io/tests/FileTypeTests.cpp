#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/core/Error.hpp"
#include "platform/io/FileType.hpp"

namespace platform {
namespace {

class FileTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("filetype-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path make(const std::string& name) {
    const auto file = folder_ / name;
    std::ofstream(file) << "a,b\n";
    return file;
  }
  std::filesystem::path folder_;
};

TEST_F(FileTypeTest, IdentifierByExtension) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"names.csv", "public.comma-separated-values-text"}, {"NAMES.CSV", "public.comma-separated-values-text"},
      {"names.tsv", "public.tab-separated-values-text"},   {"names.Tab", "public.tab-separated-values-text"},
      {"names.txt", "public.plain-text"},                  {"names.text", "public.plain-text"},
      {"names.rtf", "public.rtf"},                         {"names.xlsx", std::nullopt},
      {"names", std::nullopt},                             {"names.csv.bak", std::nullopt},
  };
  for (const auto& [name, identifier] : cases) EXPECT_EQ(fileTypeIdentifier(make(name)), identifier) << name;
  std::filesystem::create_directory(folder_ / "folder.csv");
  EXPECT_EQ(fileTypeIdentifier(folder_ / "folder.csv"), std::nullopt);
  // A location that is already open needs no look at the file system at all.
  EXPECT_EQ(typeIdentifierForExtension(folder_ / "gone" / "names.TSV"), "public.tab-separated-values-text");
  EXPECT_EQ(typeIdentifierForExtension("/dev/fd/63"), std::nullopt);
}

// Opening a FIFO waits for its writer, and bytes taken by an open of our own would be lost to
// the read that follows; the type is found without opening it. Old code waited for ever: the
// look runs in a child that an alarm ends.
TEST_F(FileTypeTest, AFIFOIsNotOpened) {
  const auto fifo = folder_ / "names.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::alarm(120);
    try {
      ::_exit(fileTypeIdentifier(fifo) == "public.comma-separated-values-text" ? 0 : 1);
    } catch (...) {
      ::_exit(2);
    }
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status)) << "the look at the FIFO did not end";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(FileTypeTest, MissingOrUnreadableFilesThrow) {
  EXPECT_THROW(fileTypeIdentifier(folder_ / "missing.csv"), Error);
  try {
    fileTypeIdentifier(folder_ / "missing.csv");
  } catch (const Error& error) {
    EXPECT_EQ(error.code(), 260);
  }
  const auto locked = make("locked.csv");
  ::chmod(locked.c_str(), 0);
  if (::geteuid() != 0) {
    EXPECT_THROW(fileTypeIdentifier(locked), Error);
  }
}

}  // namespace
}  // namespace platform
