#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "RecordCSV/CSVReader.hpp"
#include "platform/io/StreamDoubles.hpp"
#include "platform/io/TemporaryDirectory.hpp"
#include "reader/ReaderTestSupport.hpp"

namespace RecordCSV {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::readAll;
using Script = platform::InputStreamScript;

const std::string streamReadReason = "The input stream encountered an error while trying to read input bytes.";
const std::string firstBytesReason = "The input stream encountered an error while trying to read the first bytes.";
const std::string reviewHelp = "Review the internal error and make sure you have access to the input data.";

void expectSameOutcome(const Outcome& actual, const Outcome& expected) {
  EXPECT_EQ(actual.headers, expected.headers);
  EXPECT_EQ(actual.rows, expected.rows);
  EXPECT_EQ(actual.failure, expected.failure);
  EXPECT_EQ(actual.failedOnCreation, expected.failedOnCreation);
}

std::string repeated(const std::string& text, std::size_t times) {
  std::string result;
  for (std::size_t i = 0; i < times; ++i) result += text;
  return result;
}

// Every way of handing bytes to the reader gives what a data blob gives.
TEST(ReaderStreams, StreamsAndFilesDecodeExactlyAsBlobs) {
  platform::TemporaryDirectory folder;
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<const char*> encoding;
    bool presample;
    std::size_t expectedRows;  // checks that the blob reading itself is what the case means
  };
  // Two-byte scalars that straddle every 1024-byte block boundary.
  const std::string straddling = repeated("x\u00E9,\u20AC\U0001F600\n", 400);
  const Case cases[] = {
      {"plain UTF-8", "a,b\nc,d\n", std::nullopt, false, 2},
      {"UTF-8 mark", "\xEF\xBB\xBF" "a,b\n", std::nullopt, false, 1},
      {"UTF-8 mark with UTF-8 configured", "\xEF\xBB\xBF" "a,b\n", "utf-8", false, 1},
      {"UTF-16LE mark, UTF-16 configured", std::string("\xFF\xFE" "a\0,\0b\0", 8), "utf-16", false, 1},
      {"UTF-16BE mark, UTF-16BE configured", std::string("\xFE\xFF\0a\0\n", 6), "utf-16be", false, 1},
      {"UTF-16 without mark reads big-endian", std::string("\0a\0,\0b", 6), "utf-16", false, 1},
      {"UTF-32LE mark", std::string("\xFF\xFE\0\0a\0\0\0", 8), std::nullopt, false, 1},
      {"scalars across block boundaries", straddling, std::nullopt, false, 400},
      // A file is read ahead 64 KiB at a time: scalars and rows straddle those blocks too.
      {"scalars across the read-ahead blocks of a file", repeated("x\u00E9,\u20AC\U0001F600\n", 11000), std::nullopt,
       false, 11000},
      {"the same in UTF-16", std::string("\xFE\xFF", 2) + std::string("\0x\0,\xD8\x3D\xDE\x00\0\n", 10) +
                                  repeated(std::string("\0y\0,\0z\0\n", 8), 300),
       std::nullopt, false, 301},
      {"empty input", "", std::nullopt, false, 0},
      {"only a mark", "\xFE\xFF", std::nullopt, false, 0},
      {"a cut-off UTF-8 mark", "\xEF\xBB", std::nullopt, false, 0},
      {"a cut-off last UTF-8 scalar", "a,b\nc,\xE2\x82", std::nullopt, false, 1},
      {"an odd UTF-16 byte at the end", std::string("\0a\0\n\0", 5), "utf-16be", false, 1},
      {"UTF-8 configured over a UTF-16 mark", std::string("\xFF\xFE" "a\0", 4), "utf-8", false, 0},
      {"presample with an encoding only a converter knows", "caf\xE9,b\n", "latin1", true, 1},
      {"no presample with that encoding", "caf\xE9,b\n", "latin1", false, 0},
      {"presample with a mark and no encoding", std::string("\xFF\xFE" "a\0", 4), std::nullopt, true, 1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader::Configuration configuration;
    if (c.encoding) configuration.encoding = platform::TextEncoding::named(*c.encoding);
    configuration.presample = c.presample;
    const platform::Data data = platform::Data::fromString(c.bytes);
    const Outcome expected = readAll([&] { return CSVReader::initWithData(data, configuration); });
    EXPECT_EQ(expected.rows.size(), c.expectedRows);

    const fs::path file = folder.path() / ("input" + std::to_string(index++) + ".csv");
    std::ofstream(file, std::ios::binary) << c.bytes;
    for (std::size_t readSize : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
      SCOPED_TRACE("stream reading at most " + std::to_string(readSize));
      auto stream = platform::ScriptedInputStream::make(data, Script().readingAtMost(readSize));
      expectSameOutcome(readAll([&] { return CSVReader::initWithInputStream(stream, configuration); }), expected);
      EXPECT_EQ(stream->closeCalls(), 1u);
      for (std::size_t length : stream->requestedLengths()) EXPECT_LE(length, 1024u);
    }
    SCOPED_TRACE("file");
    expectSameOutcome(readAll([&] { return CSVReader::initWithURL(file, configuration); }), expected);
  }
}

TEST(ReaderStreams, FailedReadsAreReportedAndTheStreamIsClosedOnce) {
  const std::string rows = repeated("a,b\n", 600);
  struct Case {
    const char* name;
    Script script;
    bool presample;
    std::size_t rowsBefore;
    std::optional<testing::Failure> failure;
    bool failedOnCreation;
    std::vector<std::pair<std::string, std::string>> userInfo;
    bool underlying;
  };
  const testing::Failure readFailure{4, streamReadReason, reviewHelp, std::nullopt};
  const testing::Failure firstFailure{4, firstBytesReason, reviewHelp, std::nullopt};
  const testing::Failure wholeFailure{4, "The provided input stream could not be read in its entirety.",
                                      "Make sure there is data in the input stream and that you have access to it.",
                                      std::nullopt};
  const Case cases[] = {
      // Reads: 4 bytes for the mark, then 1024, then the failure: 1028 bytes hold 257 rows.
      {"a read after some rows", Script().failingOnRead(3), false, 257, readFailure, false, {{"Stream status", "error"}},
       true},
      {"a read without an error object", Script().failingOnRead(3, false), false, 257, readFailure, false,
       {{"Stream status", "error"}}, false},
      {"the first read", Script().failingOnRead(1), false, 0, firstFailure, true, {{"Stream status", "error"}}, true},
      {"the second of several short first reads", Script().readingAtMost(1).failingOnRead(2), false, 0, firstFailure,
       true, {{"Stream status", "error"}}, true},
      {"a stream that does not open", Script().failingToOpen(), false, 0, firstFailure, true,
       {{"Stream status", "error"}}, true},
      {"reading whole", Script().failingOnRead(2), true, 0, wholeFailure, true,
       {{"Input stream", "scripted input stream"}}, true},
      {"reading whole, the failure naming no error", Script().failingOnRead(2, false), true, 0, wholeFailure, true,
       {{"Input stream", "scripted input stream"}}, false},
      {"no failure", Script(), false, 600, std::nullopt, false, {}, false},
      {"no failure, reading whole", Script(), true, 600, std::nullopt, false, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = platform::ScriptedInputStream::make(platform::Data::fromString(rows), c.script);
    CSVReader::Configuration configuration;
    configuration.presample = c.presample;
    std::optional<CSVReaderError> error;
    Outcome outcome = readAll([&] {
      try {
        return CSVReader::initWithInputStream(stream, configuration);
      } catch (const CSVReaderError& e) {
        error = e;
        throw;
      }
    });
    EXPECT_EQ(outcome.rows.size(), c.rowsBefore);
    EXPECT_EQ(outcome.failure, c.failure);
    EXPECT_EQ(outcome.failedOnCreation, c.failedOnCreation);
    EXPECT_EQ(stream->closeCalls(), 1u);
    if (c.failure && c.failedOnCreation) {
      ASSERT_TRUE(error);
      std::vector<std::pair<std::string, std::string>> info;
      for (const auto& entry : error->userInfo()) info.emplace_back(entry.key, entry.text);
      EXPECT_EQ(info, c.userInfo);
      EXPECT_EQ(error->underlyingError() != nullptr, c.underlying);
    }
  }
}

// A pipe may send no more until the rows already sent are read: a row goes out once its block is in.
TEST(ReaderStreams, ARowIsReadWithoutWaitingForLaterBlocks) {
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;
  };
  std::string utf16;
  for (char c : repeated("row,1\n", 2000)) utf16 += std::string{'\0', c};
  const Case cases[] = {
      {"UTF-8", repeated("row,\u00E9\n", 2000), "utf-8"},
      {"ASCII", repeated("row,1\n", 2000), "ascii"},
      {"UTF-16", utf16, "utf-16be"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = platform::ScriptedInputStream::make(platform::Data::fromString(c.bytes));
    CSVReader reader = CSVReader::initWithInputStream(
        stream, [&](CSVReader::Configuration& configuration) { configuration.encoding = platform::TextEncoding::named(c.encoding); });
    ASSERT_TRUE(reader.readRow());
    // The look for a mark, then one block.
    EXPECT_EQ(stream->requestedLengths().size(), 2u);
    EXPECT_EQ(stream->closeCalls(), 0u);
  }
}

TEST(ReaderStreams, LaterStreamErrorsCarryStatusAndCause) {
  auto stream = platform::ScriptedInputStream::make(platform::Data::fromString(repeated("a,b\n", 600)),
                                                    Script().failingOnRead(3));
  CSVReader reader = CSVReader::initWithInputStream(stream, CSVReader::Configuration());
  try {
    while (reader.readRow()) {
    }
    FAIL() << "the failed read went unnoticed";
  } catch (const CSVReaderError& error) {
    EXPECT_EQ(error.failureReason(), streamReadReason);
    EXPECT_EQ(error.userInfo().get<platform::StreamStatus>("Stream status"), platform::StreamStatus::error);
    EXPECT_EQ(error.underlyingError(), platform::scriptedStreamError());
  }
}

// A read that fails while a character is only partly read is a stream failure, not bad text.
TEST(ReaderStreams, AStreamErrorComesBeforeAnIncompleteLastCharacter) {
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<platform::TextEncoding> encoding;
    testing::Rows rows;  // read before the failure
  };
  // Two bytes per read: the four looked at for a mark take two reads, the third read brings the
  // cut character's first bytes and the fourth fails.
  const Case cases[] = {
      {"an odd byte of UTF-16", std::string("\0a\0\n\0", 5), platform::TextEncoding::utf16BigEndian(), {{"a"}}},
      {"the start of a UTF-8 sequence", "a\nbcd\xC3\xA9", std::nullopt, {{"a"}}},
      {"a UTF-16 high surrogate", std::string("\0a\0\n\xD8\x3D\xDE\x00", 8), platform::TextEncoding::utf16BigEndian(),
       {{"a"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = platform::ScriptedInputStream::make(platform::Data::fromString(c.bytes),
                                                      Script().readingAtMost(2).failingOnRead(4));
    const Outcome outcome =
        readAll([&] { return CSVReader::initWithInputStream(stream, [&](auto& r) { r.encoding = c.encoding; }); });
    EXPECT_EQ(outcome.rows, c.rows);
    ASSERT_TRUE(outcome.failure);
    EXPECT_EQ(outcome.failure->reason, streamReadReason);
    EXPECT_EQ(stream->closeCalls(), 1u);
  }
}

TEST(ReaderStreams, TheReaderClosesItsStreamOnceWhateverEndsIt) {
  const platform::Data data = platform::Data::fromString(repeated("a,b\n", 1000));
  struct Case {
    const char* name;
    std::function<void(CSVReader::Configuration&)> configure;
    std::function<void(CSVReader&)> use;  // runs when creation succeeds
  };
  const Case cases[] = {
      {"released before the end", {}, [](CSVReader& r) { (void)r.readRow(); }},
      {"read to the end, then released", {}, [](CSVReader& r) { (void)r.readFileView(); }},
      {"a configuration that is not valid", [](auto& c) { c.delimiters.row = ","; }, {}},
      {"an encoding without a decoder", [](auto& c) { c.encoding = platform::TextEncoding::named("latin1"); }, {}},
      {"a header row that cannot be read", [](auto& c) {
         c.headerStrategy = Strategy::Header::firstLine();
         c.escapingStrategy = Strategy::Escaping::scalar(U'a');
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto stream = platform::ScriptedInputStream::make(data, Script().readingAtMost(100));
    try {
      CSVReader reader = CSVReader::initWithInputStream(stream, c.configure);
      if (c.use) c.use(reader);
    } catch (const CSVReaderError&) {
      EXPECT_FALSE(c.use) << "creation failed";
    }
    EXPECT_EQ(stream->closeCalls(), 1u);
    EXPECT_EQ(stream->status(), platform::StreamStatus::closed);
  }
}

TEST(ReaderStreams, FilesThatCannotBeRead) {
  platform::TemporaryDirectory folder;
  const fs::path missing = folder.path() / "missing.csv";
  struct Case {
    const char* name;
    fs::path location;
    bool presample;
    testing::Failure failure;
    std::string fileURL;  // the "File URL" user information, when there is one
    bool underlying;
  };
  const testing::Failure notRead{2, "The file under the given URL couldn't be read.",
                                 "Make sure the URL is valid and you are allowed to access the file.", std::nullopt};
  const Case cases[] = {
      {"missing, read whole", missing, true, notRead, missing.string(), true},
      {"missing, read as a stream", missing, false, {4, firstBytesReason, reviewHelp, std::nullopt}, "", true},
      {"a folder, read whole", folder.path(), true, notRead, folder.path().string(), true},
      {"no location, read as a stream", fs::path(), false,
       {4, "Creating an input stream to the given file URL failed.",
        "Make sure the URL is valid and you are allowed to access the file. Alternatively set the configuration's "
        "presample or load the file in a data blob and use the reader's data initializer.",
        std::nullopt},
       "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      CSVReader::decode(c.location, [&](CSVReader::Configuration& configuration) {
        configuration.presample = c.presample;
      });
      ADD_FAILURE() << "read";
    } catch (const CSVReaderError& error) {
      EXPECT_EQ(testing::failureOf(error), c.failure);
      if (!c.fileURL.empty()) {
        EXPECT_EQ(error.userInfo().get<std::string>("File URL"), c.fileURL);
        EXPECT_TRUE(std::string(error.what()).ends_with("couldn't be read. (file " + c.fileURL + ")")) << error.what();
      } else if (!c.location.empty()) {
        EXPECT_TRUE(std::string(error.what()).ends_with("(input stream of " + c.location.string() + ")"))
            << error.what();
      }
      EXPECT_EQ(error.underlyingError() != nullptr, c.underlying);
    }
  }

  const fs::path file = folder.path() / "ok.csv";
  std::ofstream(file, std::ios::binary) << "h1,h2\n1,2\n";
  const auto view = CSVReader::decode(file, [](auto& c) { c.headerStrategy = Strategy::Header::firstLine(); });
  EXPECT_EQ(view.headers(), (std::vector<std::string>{"h1", "h2"}));
  EXPECT_EQ(view.rows(), (testing::Rows{{"1", "2"}}));
}

TEST(ReaderStreams, StandardInputIsReadLikeAnyStream) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string text = "x,y\n1,2\n";
  ASSERT_EQ(::write(ends[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(ends[1]);
  const auto view = CSVReader::decode(platform::InputStream::withFileDescriptor(ends[0], true),
                                      CSVReader::Configuration());
  EXPECT_EQ(view.rows(), (testing::Rows{{"x", "y"}, {"1", "2"}}));
}

}  // namespace
}  // namespace RecordCSV
