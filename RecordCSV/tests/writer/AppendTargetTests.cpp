#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "RecordCSV/CSVEncoder.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "platform/io/UniqueDescriptor.hpp"

namespace RecordCSV {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

std::string readToEnd(int descriptor) {
  std::string text;
  char buffer[256];
  for (;;) {
    const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

// A target that is not a regular file, read to its end by a thread of its own.
struct Target {
  fs::path path;
  std::function<void(bool written)> closeWritingEnd;  // lets the reader see the end
  std::string received;
  std::thread reader;
};

void openFIFO(Target& target, const fs::path& folder) {
  target.path = folder / "fifo.csv";
  ASSERT_EQ(::mkfifo(target.path.c_str(), 0600), 0);
  target.reader = std::thread([&target] {
    const platform::UniqueDescriptor in(::open(target.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in) target.received = readToEnd(in.get());
  });
  // A writer that failed may not have opened the FIFO, and then the reader is still waiting for one.
  target.closeWritingEnd = [&target](bool written) {
    if (!written) platform::UniqueDescriptor(::open(target.path.c_str(), O_WRONLY | O_CLOEXEC));
  };
}

void openPipe(Target& target, const fs::path&) {
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
  auto in = std::make_shared<platform::UniqueDescriptor>(ends[0]);
  auto out = std::make_shared<platform::UniqueDescriptor>(ends[1]);
  target.path = "/proc/self/fd/" + std::to_string(ends[1]);
  target.reader = std::thread([&target, in] { target.received = readToEnd(in->get()); });
  target.closeWritingEnd = [out](bool) { out->reset(); };
}

TEST(CSVWriterAppend, PipesAndFIFOsAreWrittenToWithoutLookingForAMark) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> append;
  };
  const Rows rows{{"a", "b"}};
  const Case cases[] = {
      {"serialize", [&](const fs::path& path) { CSVWriter::serialize(rows, path, true); }},
      {"encodeToFile", [&](const fs::path& path) { CSVEncoder().encodeToFile(rows, path, true); }},
      {"lazyToFile",
       [&](const fs::path& path) {
         auto lazy = CSVEncoder().lazyToFile(path, true);
         lazy.encodeRow(rows[0]);
         lazy.endEncoding();
       }},
  };
  const std::pair<const char*, void (*)(Target&, const fs::path&)> kinds[] = {{"FIFO", openFIFO},
                                                                              {"pipe", openPipe}};
  for (const Case& c : cases) {
    for (const auto& [kind, open] : kinds) {
      SCOPED_TRACE(std::string(c.name) + " into a " + kind);
      platform::TemporaryDirectory folder;
      Target target;
      open(target, folder.path());
      if (!target.reader.joinable()) continue;
      bool written = false;
      try {
        c.append(target.path);
        written = true;
      } catch (const std::exception& error) {
        ADD_FAILURE() << error.what();
      }
      target.closeWritingEnd(written);
      target.reader.join();
      EXPECT_EQ(target.received, "a,b\n");
    }
  }
}

// A file switched under the writer between its look at the mark and its writes must not get
// rows in another encoding: the mark checked is that of the file written.
TEST(CSVWriterAppend, TheMarkCheckedIsThatOfTheFileWritten) {
  platform::TemporaryDirectory folder;
  const fs::path target = folder.path() / "out.csv", swap = folder.path() / "swap";
  const fs::path utf8 = folder.path() / "utf8.csv", utf16 = folder.path() / "utf16.csv";
  std::ofstream(utf8, std::ios::binary) << "\xEF\xBB\xBFName\n";
  const std::string utf16Text("\xFF\xFEN\0a\0m\0e\0\n\0", 12);
  std::ofstream(utf16, std::ios::binary) << utf16Text;
  fs::create_hard_link(utf8, target);

  std::atomic<bool> stop = false;
  std::thread switcher([&] {
    // A second link renamed over the target: the target always exists, as one file or the other.
    while (!stop.load(std::memory_order_relaxed)) {
      for (const fs::path* file : {&utf16, &utf8}) {
        if (::link(file->c_str(), swap.c_str()) == 0) ::rename(swap.c_str(), target.c_str());
      }
    }
  });
  int appended = 0;
  for (int time = 0; time < 1000; ++time) {
    try {
      CSVWriter::serialize(Rows{{"n"}}, target, true);
      ++appended;
    } catch (const CSVWriterError&) {
    }
  }
  stop = true;
  switcher.join();
  EXPECT_EQ(fs::file_size(utf16), utf16Text.size()) << "UTF-8 rows went into the UTF-16LE file";
  EXPECT_EQ(fs::file_size(utf8), 8u + 2u * static_cast<std::uintmax_t>(appended));
}

}  // namespace
}  // namespace RecordCSV
