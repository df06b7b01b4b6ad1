#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "platform/core/Error.hpp"
#include "platform/io/InputStream.hpp"
#include "platform/io/OutputStream.hpp"
#include "platform/io/StreamDoubles.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string readAll(InputStream& stream, std::size_t chunk) {
  std::string text;
  std::vector<std::uint8_t> buffer(chunk);
  for (;;) {
    const std::ptrdiff_t count = stream.read(buffer.data(), chunk);
    if (count <= 0) return count < 0 ? text + "<failed>" : text;
    text.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(count));
  }
}

std::int64_t errorCode(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const Error& e) {
    return e.code();
  } catch (...) {
  }
  return -1;
}

TEST(InputStream, ReadsEveryKindOfSourceToItsEnd) {
  TemporaryDirectory folder;
  const fs::path file = folder.path() / "in.csv";
  std::ofstream(file, std::ios::binary) << "a,b\nc,d\n";
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::write(pipeEnds[1], "x\ny\n", 4), 4);
  ::close(pipeEnds[1]);

  struct Case {
    const char* name;
    std::shared_ptr<InputStream> stream;
    std::size_t chunk;
    std::string expected;
  };
  const Case cases[] = {
      {"memory", InputStream::withData(Data::fromString("hello")), 2, "hello"},
      {"empty memory", InputStream::withData(Data()), 4, ""},
      {"file", InputStream::withFile(file), 3, "a,b\nc,d\n"},
      {"pipe", InputStream::withFileDescriptor(pipeEnds[0], true), 1024, "x\ny\n"},
      {"scripted short reads", ScriptedInputStream::make(Data::fromString("abcdef"), InputStreamScript().readingAtMost(1)), 1024,
       "abcdef"},
      {"scripted failure", ScriptedInputStream::make(Data::fromString("abcdef"), InputStreamScript().readingAtMost(2).failingOnRead(2)),
       1024, "ab<failed>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::uint8_t byte;
    EXPECT_EQ(c.stream->read(&byte, 1), -1) << "a stream reads nothing before it is opened";
    c.stream->open();
    ASSERT_EQ(c.stream->status(), StreamStatus::open);
    EXPECT_EQ(readAll(*c.stream, c.chunk), c.expected);
    const bool failed = c.expected.ends_with("<failed>");
    EXPECT_EQ(c.stream->status(), failed ? StreamStatus::error : StreamStatus::atEnd);
    EXPECT_FALSE(c.stream->hasBytesAvailable());
    c.stream->close();
    EXPECT_EQ(c.stream->status(), StreamStatus::closed);
    EXPECT_EQ(c.stream->read(&byte, 1), -1);
  }
}

std::string patternBytes(std::size_t from, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((from + i) * 7 + (from + i) / 251);
  return bytes;
}

// A stream that owns its descriptor reads ahead; one over a descriptor the caller keeps does
// not. Both must give every read the same count, bytes, end and failure, wherever the bytes
// arrive relative to the read-ahead block (64 KiB).
TEST(InputStream, ReadAheadKeepsEveryReadsCountEndAndFailure) {
  TemporaryDirectory folder;
  struct Case {
    const char* name;
    bool pipe;
    std::vector<std::size_t> arrivals;  // a pipe's writes, each read out before the next; a file's size
    std::vector<std::size_t> reads;  // read sizes, in turn
    bool writerStaysOpen;  // a non-blocking pipe then fails the read after the last bytes
  };
  const Case cases[] = {
      {"empty file", false, {0}, {1024}, false},
      {"file one byte short of the block", false, {65535}, {1024}, false},
      {"file of one block", false, {65536}, {1024}, false},
      {"file one byte past the block", false, {65537}, {1000, 1}, false},
      {"file read in small, zero and larger-than-block pieces", false, {200'000}, {1, 0, 70'000, 1024, 65'536}, false},
      {"file read in a small piece, then pieces of several blocks", false, {400'000}, {1, 200'000}, false},
      {"pipe short writes", true, {1, 5, 1024, 3}, {1024}, false},
      {"pipe writes across the block", true, {65'535, 2, 65'537, 131'075}, {1000, 4096}, false},
      {"pipe writes of several blocks read in large pieces", true, {3, 300'000}, {2, 150'000}, false},
      {"pipe fails after bytes", true, {100}, {30}, true},
      {"pipe fails after the block", true, {65'536, 10}, {1024}, true},
      {"pipe fails right away", true, {}, {1024}, true},
  };
  for (const Case& c : cases) {
    for (const bool owned : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (owned ? ", owned" : ", kept"));
      int ends[2] = {-1, -1};
      std::shared_ptr<InputStream> stream;
      if (c.pipe) {
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_NE(::fcntl(ends[0], F_SETFL, O_NONBLOCK), -1);
        ASSERT_GE(::fcntl(ends[1], F_SETPIPE_SZ, 1 << 20), 1 << 20);
        stream = InputStream::withFileDescriptor(ends[0], owned);
      } else {
        const fs::path file = folder.path() / "ahead.bin";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << patternBytes(0, c.arrivals[0]);
        if (owned) {
          stream = InputStream::withFile(file);
        } else {
          ends[0] = ::open(file.c_str(), O_RDONLY);
          stream = InputStream::withFileDescriptor(ends[0], false);
        }
      }
      stream->open();
      ASSERT_EQ(stream->status(), StreamStatus::open);
      std::size_t offset = 0;
      std::size_t turn = 0;
      std::vector<std::uint8_t> buffer(1 << 19);
      for (const std::size_t arrival : c.arrivals) {
        if (c.pipe) {
          ASSERT_EQ(::write(ends[1], patternBytes(offset, arrival).data(), arrival), ssize_t(arrival));
        }
        for (std::size_t left = arrival; left > 0;) {
          const std::size_t want = c.reads[turn++ % c.reads.size()];
          const std::ptrdiff_t count = stream->read(buffer.data(), want);
          ASSERT_EQ(count, std::ptrdiff_t(std::min(want, left))) << "at byte " << offset;
          ASSERT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), std::size_t(count)),
                    patternBytes(offset, std::size_t(count)));
          offset += std::size_t(count);
          left -= std::size_t(count);
          ASSERT_EQ(stream->status(), StreamStatus::open);
        }
      }
      if (c.pipe && !c.writerStaysOpen) ::close(ends[1]);
      EXPECT_EQ(stream->read(buffer.data(), 1024), c.writerStaysOpen ? -1 : 0);
      EXPECT_EQ(stream->status(), c.writerStaysOpen ? StreamStatus::error : StreamStatus::atEnd);
      if (c.writerStaysOpen) {
        EXPECT_EQ(errorCode(stream->error()), EAGAIN);
      }
      EXPECT_FALSE(stream->hasBytesAvailable());
      EXPECT_EQ(stream->read(buffer.data(), 1024), c.writerStaysOpen ? -1 : 0);
      stream->close();
      EXPECT_EQ(stream->read(buffer.data(), 1), -1);
      if (!owned) ::close(ends[0]);
      if (c.pipe && c.writerStaysOpen) ::close(ends[1]);
    }
  }
}
// A read that outruns the read-ahead block is topped up from a file with gigabytes left
// as from a small one: every read is as long as over a descriptor that reads no further.
TEST(InputStream, ReadAheadTopsUpReadsOfFilesWithGibibytesLeft) {
  TemporaryDirectory folder;
  constexpr std::uint64_t gibibyte = std::uint64_t{1} << 30;
  // Sizes whose bytes left after the first block count as negative or zero in an int, and one that does not.
  for (const std::uint64_t size : {3 * gibibyte, 2 * gibibyte + 65'536, 4 * gibibyte + 65'536, gibibyte}) {
    SCOPED_TRACE(size);
    const fs::path file = folder.path() / "large.bin";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << patternBytes(0, 70'000);
    fs::resize_file(file, size);  // the rest is a hole, which takes no room
    const int kept = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(kept, 0);
    std::shared_ptr<InputStream> owned = InputStream::withFile(file);
    std::shared_ptr<InputStream> unbuffered = InputStream::withFileDescriptor(kept, false);
    owned->open();
    unbuffered->open();
    std::vector<std::uint8_t> ownedBytes(1000);
    std::vector<std::uint8_t> unbufferedBytes(1000);
    for (int read = 0; read < 70; ++read) {
      const std::ptrdiff_t count = owned->read(ownedBytes.data(), ownedBytes.size());
      ASSERT_EQ(count, unbuffered->read(unbufferedBytes.data(), unbufferedBytes.size())) << "read " << read;
      ASSERT_EQ(ownedBytes, unbufferedBytes) << "read " << read;
    }
    owned->close();
    unbuffered->close();
    ::close(kept);
  }
}

TEST(InputStream, MissingFilesFailToOpenAndEmptyLocationsMakeNoStream) {
  TemporaryDirectory folder;
  EXPECT_EQ(InputStream::withFile(fs::path()), nullptr);
  auto stream = InputStream::withFile(folder.path() / "missing.csv");
  ASSERT_NE(stream, nullptr);
  stream->open();
  EXPECT_EQ(stream->status(), StreamStatus::error);
  EXPECT_EQ(errorCode(stream->error()), ENOENT);
  EXPECT_EQ(describe(stream->status()), "error");
  EXPECT_FALSE(stream->hasBytesAvailable());
}

TEST(InputStream, StandardInputIsLeftOpenWhenTheStreamCloses) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  auto stream = InputStream::withFileDescriptor(pipeEnds[0], false);
  stream->open();
  stream->close();
  EXPECT_NE(::fcntl(pipeEnds[0], F_GETFD), -1);
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
  EXPECT_NE(InputStream::standardInput(), nullptr);
}

TEST(OutputStream, FilesAreCreatedTruncatedOrAppendedTo) {
  TemporaryDirectory folder;
  struct Case {
    const char* name;
    const char* before;  // nullptr: no file yet
    bool append;
    std::string written;
    std::string after;
  };
  const Case cases[] = {
      {"new file", nullptr, false, "a,b\n", "a,b\n"},
      {"replaced", "old text\n", false, "new\n", "new\n"},
      {"appended", "old\n", true, "new\n", "old\nnew\n"},
      {"appended to a missing file", nullptr, true, "x\n", "x\n"},
      {"larger than the buffer", nullptr, false, std::string(200'000, 'z'), std::string(200'000, 'z')},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = folder.path() / ("out" + std::to_string(index++) + ".csv");
    if (c.before) std::ofstream(file, std::ios::binary) << c.before;
    auto stream = OutputStream::toFile(file, c.append);
    stream->open();
    ASSERT_EQ(stream->status(), StreamStatus::open);
    // Small pieces and one big piece, as a writer hands them over.
    std::size_t offset = 0;
    while (offset < c.written.size()) {
      const std::size_t piece = std::min<std::size_t>(offset == 0 ? 3 : 100'000, c.written.size() - offset);
      ASSERT_EQ(stream->write(reinterpret_cast<const std::uint8_t*>(c.written.data() + offset), piece),
                static_cast<std::ptrdiff_t>(piece));
      offset += piece;
    }
    stream->close();
    EXPECT_EQ(stream->status(), StreamStatus::closed);
    EXPECT_EQ(fileText(file), c.after);
    EXPECT_EQ(stream->dataWrittenToMemory(), std::nullopt);
  }
}

TEST(OutputStream, FailuresSurfaceThroughStatusAndError) {
  TemporaryDirectory folder;
  const std::uint8_t bytes[] = {'a', 'b', 'c'};

  auto unopenable = OutputStream::toFile(folder.path() / "no-such-folder" / "out.csv", false);
  unopenable->open();
  EXPECT_EQ(unopenable->status(), StreamStatus::error);
  EXPECT_EQ(errorCode(unopenable->error()), ENOENT);
  EXPECT_EQ(unopenable->write(bytes, 3), -1);
  EXPECT_EQ(OutputStream::toFile(fs::path(), false), nullptr);

  // A buffered write succeeds; the full device refuses the bytes when they are flushed.
  if (fs::exists("/dev/full")) {
    auto full = OutputStream::toFile("/dev/full", false);
    full->open();
    EXPECT_EQ(full->write(bytes, 3), 3);
    full->close();
    EXPECT_EQ(full->status(), StreamStatus::error);
    EXPECT_EQ(errorCode(full->error()), ENOSPC);
  }

  auto memory = OutputStream::toMemory();
  EXPECT_EQ(memory->write(bytes, 3), -1) << "nothing is taken before opening";
  memory->open();
  EXPECT_TRUE(memory->hasSpaceAvailable());
  EXPECT_EQ(memory->write(bytes, 3), 3);
  memory->close();
  EXPECT_FALSE(memory->hasSpaceAvailable());
  EXPECT_EQ(memory->dataWrittenToMemory(), Data::fromString("abc"));
}

TEST(OutputStream, ReservedRoomIsTakenAsWritesAre) {
  TemporaryDirectory folder;
  // Pieces written or formatted in reserved room, around the file buffer's 64 KiB and past the
  // largest room a file stream offers.
  const std::vector<std::size_t> sizes = {3, 100, 65'000, 536, 65'536, 1, 70'000, 2'000'000, 7, 0, 65'535, 5'000'000, 9};
  for (bool toFile : {true, false}) {
    for (int way = 0; way < 3; ++way) {  // every piece written, every piece reserved, alternately
      SCOPED_TRACE(std::string(toFile ? "file" : "memory") + " way " + std::to_string(way));
      const fs::path file = folder.path() / ("reserved" + std::to_string(way) + ".csv");
      auto stream = toFile ? OutputStream::toFile(file, false) : OutputStream::toMemory();
      EXPECT_TRUE(stream->reserve(10).empty()) << "no room before opening";
      stream->open();
      std::string expected;
      for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string piece(sizes[i], static_cast<char>('a' + i));
        expected += piece;
        const bool reserve = way == 1 || (way == 2 && i % 2 == 0);
        std::span<std::uint8_t> room = reserve ? stream->reserve(piece.size()) : std::span<std::uint8_t>();
        if (room.empty()) {
          EXPECT_TRUE(!reserve || (toFile && piece.size() > 1'000'000)) << "room for " << piece.size();
          ASSERT_EQ(stream->write(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()),
                    static_cast<std::ptrdiff_t>(piece.size()));
          continue;
        }
        ASSERT_GE(room.size(), piece.size());
        std::memcpy(room.data(), piece.data(), piece.size());
        ASSERT_EQ(stream->commit(piece.size()), static_cast<std::ptrdiff_t>(piece.size()));
      }
      stream->close();
      EXPECT_TRUE(stream->reserve(10).empty()) << "no room once closed";
      EXPECT_EQ(stream->commit(1), -1);
      EXPECT_EQ(toFile ? fileText(file) : std::string(stream->dataWrittenToMemory()->view()), expected);
    }
  }

  // The commit that fills the buffer past its capacity flushes it and meets the failure, as a write would.
  if (fs::exists("/dev/full")) {
    auto full = OutputStream::toFile("/dev/full", false);
    full->open();
    ASSERT_GE(full->reserve(60'000).size(), 60'000u);
    EXPECT_EQ(full->commit(60'000), 60'000);
    ASSERT_GE(full->reserve(10'000).size(), 10'000u);
    EXPECT_EQ(full->commit(10'000), -1);
    EXPECT_EQ(errorCode(full->error()), ENOSPC);
    EXPECT_TRUE(full->reserve(10).empty());
  }
}

TEST(OutputStream, ScriptedStreamTakesWhatItsScriptAllows) {
  struct Case {
    const char* name;
    ScriptedOutputStream::Script script;
    std::vector<std::ptrdiff_t> results;  // of four writes of "abc"
    std::string written;
  };
  const Case cases[] = {
      {"well behaved", {}, {3, 3, 3, 3}, "abcabcabcabc"},
      {"two bytes at a time", OutputStreamScript().takingAtMost(2), {2, 2, 2, 2}, "abababab"},
      {"fails on the third", OutputStreamScript().failingOnWrite(3), {3, 3, -1, -1}, "abcabc"},
      {"takes nothing twice", OutputStreamScript().takingNothingOnWrites({1, 3}), {0, 3, 0, 3}, "abcabc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = ScriptedOutputStream::make(c.script);
    stream->open();
    const std::uint8_t bytes[] = {'a', 'b', 'c'};
    std::vector<std::ptrdiff_t> results;
    for (int i = 0; i < 4; ++i) results.push_back(stream->write(bytes, 3));
    EXPECT_EQ(results, c.results);
    EXPECT_EQ(stream->written().view(), c.written);
    stream->close();
    stream->close();
    EXPECT_EQ(stream->closeCalls(), 2u);
  }
}

}  // namespace
}  // namespace platform
