// timeseries-parse: pulls every record of an annotated CSV query answer (a file) through the
// time-series client's record cursor and prints how many there were.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <vector>

#include "TimeSeries/QueryAPI.hpp"
#include "platform/io/FileData.hpp"

namespace {

// The answer's bytes, held whole as a client holds an answer. Memory for a large answer is
// asked for in huge pages: faulting it in 4 KiB at a time costs more than reading it.
platform::Data readAnswer(const char* path) {
  const int file = ::open(path, O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (file >= 0) ::close(file);
    return platform::readFile(path);  // which reports what is wrong
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  constexpr std::uintptr_t hugePage = 2 << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(bytes.data());
  const std::uintptr_t first = (start + hugePage - 1) & ~(hugePage - 1), last = (start + bytes.capacity()) & ~(hugePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  std::uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(file, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      ::close(file);
      if (count < 0) return platform::readFile(path);
      return platform::Data(std::move(bytes));
    }
    bytes.insert(bytes.end(), buffer, buffer + count);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: timeseries-parse FILE\n";
    return 2;
  }
  try {
    // The answer's bytes go into the cursor's stream as they are, without a copy.
    TimeSeries::QueryAPI::ResultRecordCursor cursor(readAnswer(argv[1]));
    std::size_t records = 0;
    while (cursor.next()) ++records;
    std::printf("records=%zu\n", records);
  } catch (const std::exception& error) {
    std::cerr << argv[1] << ": " << error.what() << '\n';
    return 1;
  }
  return 0;
}
