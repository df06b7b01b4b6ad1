#include <gtest/gtest.h>
#include <sys/stat.h>
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
