#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "QVExtensions/OscTagWatcher.hpp"
#include "platform/io/Pipe.hpp"

namespace QVExtensions {
namespace {

// Each case is a run of reads; the tags are what the chunks report, in order.
TEST(OscTagWatcher, TagsOfChunks) {
  struct Case {
    const char* name;
    std::vector<std::string> reads;
    std::vector<std::string> tags;
  };
  const Case cases[] = {
      {"one sequence", {"\x1B]0;build\x07 and more"}, {"build"}},
      {"only the first of a chunk", {"\x1B]0;first\x07\x1B]1;second\x07"}, {"first"}},
      {"none", {"plain text", "\x1B]x;no\x07", "\x1B]0;\x07"}, {}},
      {"after an emoji", {"\xF0\x9F\x98\x80\x1B]2;tag_9\x07"}, {"tag_9"}},
      {"word characters of any script", {"\x1B]0;Zo\xC3\xAB\x07"}, {"Zo\xC3\xAB"}},
      {"a sequence cut between reads", {"x\x1B]0;bu", "ild\x07 y"}, {"build"}},
      {"cut after the escape", {"x\x1B", "]0;build\x07"}, {"build"}},
      {"a character cut between reads", {"\xF0\x9F", "\x98\x80\x1B]0;a\x07"}, {"a"}},
      {"a carried sequence is the next read's first",
       {"\x1B]0;one\x07\x1B]0;tw", "o\x07\x1B]0;three\x07"},
       {"one", "two"}},
      {"a chunk that is not UTF-8 is dropped", {"\xFF\x1B]0;lost\x07", "\x1B]0;kept\x07"}, {"kept"}},
      // Bytes that begin no character are ill-formed now, not cut short: the next read stays whole.
      {"a chunk ending in a byte that starts no character", {"\x1B]0;lost\x07\xFF", "\x1B]0;kept\x07"}, {"kept"}},
      {"a chunk ending in an impossible start", {"x\xE0\x80", "\x1B]0;kept\x07"}, {"kept"}},
      {"a chunk ending in a start beyond Unicode", {"x\xF4\x90", "\x1B]0;kept\x07"}, {"kept"}},
      {"a broken carried sequence is not reported", {"\x1B]0;ab", " cd\x07"}, {}},
      {"an over-long sequence is not carried", {"\x1B]0;" + std::string(5000, 'a'), "\x07"}, {}},
  };
  for (const Case& c : cases) {
    std::string carry;
    std::vector<std::string> tags;
    for (const std::string& read : c.reads) {
      OscChunkResult result = scanOscChunk(std::move(carry), read);
      carry = std::move(result.carry);
      if (result.tag) tags.push_back(*result.tag);
    }
    EXPECT_EQ(tags, c.tags) << c.name;
  }
}

TEST(OscTagWatcher, WatchesARealPipeUntilItsEnd) {
  platform::Pipe pipe;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> tags;
  auto watcher = readOscTaggedOutput(pipe.readDescriptor(), [&](const std::string& tag) {
    std::lock_guard lock(mutex);
    tags.push_back(tag);
    changed.notify_all();
  });
  // Each write waits for its tag, so that every write is read as a chunk of its own.
  for (const std::string tag : {"first", "second"}) {
    const std::string chunk = "\x1B]1;" + tag + "\x07";
    ASSERT_EQ(::write(pipe.writeDescriptor(), chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return !tags.empty() && tags.back() == tag; });
  }
  pipe.closeWrite();
  watcher->waitUntilFinished();  // returns only because the end of file stops it
  EXPECT_EQ(tags, (std::vector<std::string>{"first", "second"}));
}

TEST(OscTagWatcher, DestroyingStopsAWatchOnAnOpenPipe) {
  platform::Pipe pipe;
  bool called = false;
  {
    auto watcher = readOscTaggedOutput(pipe.readDescriptor(), [&](const std::string&) { called = true; });
  }
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace QVExtensions
