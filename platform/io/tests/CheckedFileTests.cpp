#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CheckedFileSeam.hpp"
#include "platform/io/CheckedFile.hpp"
#include "platform/io/FileData.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;

// Each case runs with the process's descriptor folder and as where /proc is not mounted.
struct Place {
  const char* name;
  bool hasProc;
};
constexpr Place places[] = {{"with /proc", true}, {"without /proc", false}};

std::string folderFor(const Place& place, const TemporaryDirectory& folder) {
  return place.hasProc ? std::string(checked::descriptorFolder) : (folder.path() / "no-proc").string();
}

void writeText(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

std::string readAll(int descriptor) { return std::string(readToEnd(descriptor)->view()); }

int errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::system_error& error) {
    return error.code().value();
  }
  return 0;
}

// An open that waits on a FIFO nobody writes to would hang the suite: past the limit a
// writer is let in, so that the open ends, and the test learns that it had waited.
class FIFORelease {
 public:
  FIFORelease(fs::path fifo, std::chrono::seconds limit)
      : thread_([this, fifo = std::move(fifo), limit] {
          std::unique_lock lock(mutex_);
          if (finished_.wait_for(lock, limit, [this] { return done_; })) return;
          released_ = true;
          const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (writer >= 0) ::close(writer);
        }) {}
  ~FIFORelease() { finish(); }
  /// Whether the open had to be released.
  bool finish() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    finished_.notify_one();
    if (thread_.joinable()) thread_.join();
    return released_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  bool released_ = false;
  std::thread thread_;  // last, so that it starts once the rest is there
};

TEST(CheckedFile, TheDecisionSeesWhatThePathNamesBeforeAnythingIsOpened) {
  struct stat zero {}, null {};
  ASSERT_EQ(::stat("/dev/zero", &zero), 0);
  ASSERT_EQ(::stat("/dev/null", &null), 0);
  EXPECT_TRUE(isNullDevice(null));
  EXPECT_FALSE(isNullDevice(zero));

  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    TemporaryDirectory folder;
    const std::string descriptors = folderFor(place, folder);
    writeText(folder.path() / "names.csv", "a,b\n");
    fs::create_symlink("names.csv", folder.path() / "link.csv");
    fs::create_symlink("/dev/zero", folder.path() / "zero.csv");
    const auto refuseDevices = [](const struct stat& status) {
      if (isNullDevice(status)) return OpenDecision::leaveClosed;
      if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) throw std::runtime_error("a device");
      return OpenDecision::open;
    };
    struct Case {
      fs::path file;
      std::string read;  // what the descriptor gives
      bool opened;
      std::string refusal;  // the decision's, or a system error's text
    };
    const Case cases[] = {
        {folder.path() / "names.csv", "a,b\n", true, ""},
        {folder.path() / "link.csv", "a,b\n", true, ""},
        {"/dev/null", "", false, ""},
        {"/dev/zero", "", false, "a device"},
        {folder.path() / "zero.csv", "", false, "a device"},
        {folder.path() / "missing.csv", "", false, std::make_error_code(std::errc::no_such_file_or_directory).message()},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.file.string());
      try {
        const CheckedFile opened = checked::openForReading(c.file, refuseDevices, descriptors.c_str());
        EXPECT_EQ(c.refusal, "");
        ASSERT_EQ(static_cast<bool>(opened.descriptor), c.opened);
        if (!c.opened) continue;
        EXPECT_TRUE(S_ISREG(opened.status.st_mode));
        EXPECT_EQ(::fcntl(opened.descriptor.get(), F_GETFL) & O_NONBLOCK, 0) << "reads block as usual";
        EXPECT_EQ(readAll(opened.descriptor.get()), c.read);
      } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
        EXPECT_NE(c.refusal, "");
      }
    }
  }
}

// What the path leads to after the decision is never what gets read: the file decided on is
// opened from its own descriptor, or, without /proc, the path's new file is refused.
TEST(CheckedFile, APathSwitchedAfterTheDecisionIsNotRead) {
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    TemporaryDirectory folder;
    const std::string descriptors = folderFor(place, folder);
    const fs::path file = folder.path() / "names.csv", other = folder.path() / "other.csv",
                   fifo = folder.path() / "fifo";
    struct Case {
      const char* name;
      std::function<void()> switchPath;
      bool waitsOnFIFO;
    };
    const Case cases[] = {
        {"another file", [&] { fs::rename(other, file); }, false},
        {"a FIFO", [&] { fs::rename(fifo, file); }, true},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      writeText(file, "decided\n");
      writeText(other, "switched\n");
      ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
      FIFORelease release(file, std::chrono::minutes(2));
      std::string read;
      const int error = errorOf([&] {
        const CheckedFile opened = checked::openForReading(
            file,
            [&](const struct stat&) {
              c.switchPath();
              return OpenDecision::open;
            },
            descriptors.c_str());
        read = readAll(opened.descriptor.get());
      });
      EXPECT_FALSE(release.finish()) << "the open waited on a FIFO it had not seen";
      if (place.hasProc) {
        EXPECT_EQ(error, 0);
        EXPECT_EQ(read, "decided\n");
      } else {
        EXPECT_EQ(error, ESTALE);
      }
      fs::remove(fifo);
      fs::remove(file);
    }
  }
}

TEST(CheckedFile, AFIFOWaitsForItsWriter) {
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    TemporaryDirectory folder;
    const fs::path fifo = folder.path() / "names.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
      const int out = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
      if (out < 0) return;
      EXPECT_EQ(::write(out, "a,b\n", 4), 4);
      ::close(out);
    });
    CheckedFile opened;
    try {
      opened = checked::openForReading(fifo, [](const struct stat&) { return OpenDecision::open; },
                                        folderFor(place, folder).c_str());
    } catch (const std::system_error& error) {
      ADD_FAILURE() << error.what();
      ::close(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));  // lets the writer end
      writer.join();
      continue;
    }
    EXPECT_TRUE(S_ISFIFO(opened.status.st_mode));
    EXPECT_EQ(::fcntl(opened.descriptor.get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(readAll(opened.descriptor.get()), "a,b\n");
    writer.join();
  }
}

// The start checked is always that of the file being written: the one open, or, without
// /proc, nothing when the path leads elsewhere or nowhere.
TEST(CheckedFile, TheStartReadIsThatOfTheFileWritten) {
  for (const Place& place : places) {
    SCOPED_TRACE(place.name);
    TemporaryDirectory folder;
    const std::string descriptors = folderFor(place, folder);
    const fs::path file = folder.path() / "out.csv", other = folder.path() / "other.csv";
    struct Case {
      const char* name;
      std::function<void()> switchPath;
      bool followsPath;  // whether the path still leads to the file written
    };
    const Case cases[] = {
        {"unchanged", [] {}, true},
        {"another file", [&] { fs::rename(other, file); }, false},
        {"removed", [&] { fs::remove(file); }, false},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      writeText(file, "\xFF\xFEwx");
      writeText(other, "\xEF\xBB\xBFo");
      const int written = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      ASSERT_GE(written, 0);
      c.switchPath();
      std::optional<std::vector<std::uint8_t>> start;
      const int error = errorOf([&] { start = checked::readStart(written, file, 3, descriptors.c_str()); });
      ::close(written);
      if (place.hasProc || c.followsPath) {
        EXPECT_EQ(error, 0);
        EXPECT_EQ(start, (std::vector<std::uint8_t>{0xFF, 0xFE, 'w'}));
      } else {
        EXPECT_EQ(error, ESTALE);
      }
    }
  }
}

}  // namespace
}  // namespace platform
