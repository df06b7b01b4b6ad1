#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <variant>

#include "encoder/EncoderTestSupport.hpp"
#include "encoder/ShadowEncoderBuffer.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace RecordCSV::encodertest {
namespace {

using Buffering = Strategy::EncodingBuffer;
constexpr Buffering allStrategies[] = {Buffering::keepAll, Buffering::assembled, Buffering::sequential};

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const char* nameOf(Buffering strategy) {
  switch (strategy) {
    case Buffering::keepAll: return "keepAll";
    case Buffering::assembled: return "assembled";
    case Buffering::sequential: return "sequential";
  }
  return "";
}

CSVEncoder::Setup configured(Buffering strategy, std::vector<std::string> headers) {
  return [strategy, headers](CSVEncoder::Configuration& configuration) {
    configuration.bufferingStrategy = strategy;
    configuration.setHeaders(headers);
  };
}

TEST(EncoderBuffering, FieldsArrivingOutOfOrderLandInTheirPlaces) {
  struct Case {
    const char* name;
    Buffering strategy;
    std::vector<std::string> headers;
    Cells cells;
    // The output, or the reason of the encoder's error.
    std::variant<std::string, const char*> expected;
  };
  const std::vector<std::string> abc{"a", "b", "c"};
  const char* rewrite = "The provided coding path matched a previously written field.";
  const Case cases[] = {
      {"a missing field is empty", Buffering::keepAll, abc, {{{0, 2, "z"}, {0, 0, "x"}}}, std::string("a,b,c\nx,,z\n")},
      {"a missing row is empty", Buffering::keepAll, abc, {{{2, 0, "7"}, {0, 1, "2"}}}, std::string("a,b,c\n,2,\n,,\n7,,\n")},
      {"the later text wins", Buffering::keepAll, abc, {{{0, 1, "old"}, {0, 1, "new"}}}, std::string("a,b,c\n,new,\n")},
      {"rows in reverse", Buffering::keepAll, {}, {{{1, 1, "d"}, {1, 0, "c"}, {0, 1, "b"}, {0, 0, "a"}}},
       std::string("a,b\nc,d\n")},
      {"assembled waits for the gap", Buffering::assembled, abc, {{{0, 2, "z"}, {0, 0, "x"}, {0, 1, "y"}}},
       std::string("a,b,c\nx,y,z\n")},
      {"assembled across rows", Buffering::assembled, abc,
       {{{1, 0, "p"}, {0, 2, "z"}, {0, 0, "x"}, {0, 1, "y"}, {1, 2, "r"}}}, std::string("a,b,c\nx,y,z\np,,r\n")},
      {"assembled without headers runs as keepAll", Buffering::assembled, {}, {{{0, 1, "b"}, {0, 0, "a"}}},
       std::string("a,b\n")},
      {"assembled refuses a written field", Buffering::assembled, abc, {{{0, 0, "x"}, {0, 0, "again"}}}, rewrite},
      {"sequential keeps a field ahead until the row moves on", Buffering::sequential, abc,
       {{{0, 0, "x"}, {0, 2, "z"}, {0, 1, "y"}, {1, 0, "p"}}}, std::string("a,b,c\nx,y,z\np,,\n")},
      {"sequential fills skipped rows", Buffering::sequential, abc, {{{0, 0, "x"}, {2, 1, "q"}}},
       std::string("a,b,c\nx,,\n,,\n,q,\n")},
      {"sequential refuses an ended row", Buffering::sequential, abc, {{{1, 0, "p"}, {0, 0, "x"}}}, rewrite},
      {"sequential refuses an earlier field", Buffering::sequential, abc, {{{0, 0, "x"}, {0, 1, "y"}, {0, 0, "w"}}},
       rewrite},
      // An unfinished row is ended before later rows, instead of failing the whole completion.
      {"assembled row after an unfinished row", Buffering::assembled, {"a", "b"}, {{{0, 0, "x"}, {1, 1, "z"}, {1, 0, "y"}}},
       std::string("a,b\nx,\ny,z\n")},
      // A text left waiting at the writer's position would otherwise land in an extra column.
      {"sequential rewrite at the writer's position wins", Buffering::sequential, abc,
       {{{0, 1, "old"}, {0, 0, "x"}, {0, 1, "new"}, {1, 0, "p"}}}, std::string("a,b,c\nx,new,\np,,\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CSVEncoder encoder(configured(c.strategy, c.headers));
    if (const auto* text = std::get_if<std::string>(&c.expected)) {
      EXPECT_EQ(encoder.encodeToString(c.cells), *text);
    } else {
      const CSVEncoderError error = encoderError([&] { encoder.encodeToData(c.cells); });
      EXPECT_EQ(error.failureReason(), std::get<const char*>(c.expected));
    }
  }
}

TEST(EncoderBuffering, ARewriteNamesThePositionAndTheText) {
  const CSVEncoder encoder(configured(Buffering::assembled, {"a", "b"}));
  const CSVEncoderError error = encoderError([&] { encoder.encodeToData(Cells{{{0, 0, "x"}, {0, 1, "y"}, {0, 1, "z"}}}); });
  EXPECT_EQ(error.type(), CSVEncoder::Error::invalidPath);
  EXPECT_EQ(error.domain(), "RecordCSV.Encoder");
  EXPECT_EQ(error.description(), "Invalid coding path");
  EXPECT_EQ(error.helpAnchor(), "An already written CSV row cannot be rewritten. Be mindful on the encoding order.");
  EXPECT_EQ(error.userInfo().get<std::int64_t>("Row index"), 0);
  EXPECT_EQ(error.userInfo().get<std::int64_t>("Field index"), 1);
  EXPECT_EQ(error.userInfo().get<std::string>("Value"), "z");
  EXPECT_EQ(error.recoverySuggestion(), std::nullopt);
  EXPECT_EQ(error.underlyingError(), nullptr);
}

TEST(EncoderBuffering, NegativeAndFarPositionsFailBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    std::vector<std::string> headers;
    Cells cells;
    const char* reason;
  };
  const char* rewrite = "The provided coding path matched a previously written field.";
  const char* tooFar =
      "The provided coding path is too far away from the previously encoded fields. Filling the gap would require "
      "more than 1048576 empty rows or fields.";
  const Case cases[] = {
      {"negative row", {"a"}, {{{0, 0, "x"}, {-1, 0, "y"}}}, rewrite},
      {"negative field", {"a", "b"}, {{{0, 0, "x"}, {0, -2, "y"}}}, rewrite},
      {"a row key of 10^12", {"a"}, {{{0, 0, "x"}, {1'000'000'000'000, 0, "y"}}}, tooFar},
      {"the first row beyond the gap", {"a"}, {{{(1 << 20) + 1, 0, "y"}}}, tooFar},
      {"a field of 10^12 in an open row", {}, {{{0, 0, "x"}, {0, 1'000'000'000'000, "y"}}}, tooFar},
      {"the highest row key first", {"a"}, {{{std::numeric_limits<std::int64_t>::max(), 0, "y"}}}, tooFar},
      {"the highest field key first", {}, {{{0, std::numeric_limits<std::int64_t>::max(), "y"}}}, tooFar},
  };
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "out.csv";
  for (const Buffering strategy : allStrategies) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(nameOf(strategy)) + ": " + c.name);
      const CSVEncoderError error =
          encoderError([&] { CSVEncoder(configured(strategy, c.headers)).encodeToFile(c.cells, file); });
      EXPECT_EQ(error.failureReason(), c.reason);
      // The refused field left no trace: the file holds what came before it.
      const std::string header = c.headers.empty() ? "" : c.headers.front() + (c.headers.size() > 1 ? ",b\n" : "\n");
      const std::string before = c.cells.cells.size() > 1 ? (c.headers.size() > 1 ? "x,\n" : "x\n") : "";
      EXPECT_EQ(fileText(file), header + before);
    }
  }
  const CSVEncoderError error = encoderError([] { encoded(Cells{{{0, 0, "x"}, {0, 5'000'000, "y"}}}); });
  EXPECT_EQ(error.userInfo().get<std::int64_t>("Row index"), 0);
  EXPECT_EQ(error.userInfo().get<std::int64_t>("Field index"), 5'000'000);
}

TEST(EncoderBuffering, AGapOfExactlyTheLimitIsFilled) {
  const std::string text = encoded(Cells{{{0, 1 << 20, "end"}}});
  EXPECT_EQ(text.size(), std::size_t{1 << 20} + 4);
  EXPECT_EQ(text.substr(text.size() - 5), ",end\n");
  const std::string rows = encoded(Cells{{{1 << 20, 0, "end"}}}, configured(Buffering::sequential, {"h"}));
  // Each empty row of the one-field file is two quotation marks and a line feed.
  EXPECT_EQ(rows.size(), 2 + 3 * std::size_t{1 << 20} + 4);
}

TEST(EncoderBuffering, CompletionPassesOnTheWritersFailures) {
  // Without headers, the empty row before row 1 has no width.
  try {
    encoded(Cells{{{1, 0, "x"}}});
    FAIL() << "no error";
  } catch (const CSVWriterError& error) {
    EXPECT_EQ(error.type(), CSVWriter::Error::invalidOperation);
  }
  // A field beyond the headers overflows the writer's row, however far beyond it lies.
  for (const Buffering strategy : allStrategies) {
    for (const std::int64_t field : {std::int64_t{3}, std::int64_t{1'000'000'000'000}}) {
      SCOPED_TRACE(std::string(nameOf(strategy)) + ": field " + std::to_string(field));
      try {
        encoded(Cells{{{0, 0, "x"}, {0, field, "y"}}}, configured(strategy, {"a", "b"}));
        ADD_FAILURE() << "no error";
      } catch (const CSVWriterError& error) {
        EXPECT_EQ(error.failureReason(),
                  "A field cannot be added to a row that has already the expected amount of fields. All CSV rows "
                  "must have the same amount of fields.");
      }
    }
  }
}

TEST(EncoderBuffering, TheBufferKeepsPositionsInOrderWhateverTheirArrival) {
  ShadowEncoderBuffer buffer(3, 2);
  const std::int64_t far = 1'000'000'000'000;
  buffer.store("c", {far, 0});
  buffer.store("b", {5, 2});
  buffer.store("a", {5, 0});
  buffer.store("a2", {5, 0});
  buffer.store("d", {far, 7});
  EXPECT_EQ(buffer.rowCount(), 2);
  EXPECT_EQ(buffer.fieldCount(5), 2);
  EXPECT_EQ(buffer.fieldCount(6), 0);
  EXPECT_EQ(buffer.highestRow(), far);
  EXPECT_EQ(buffer.highestField(5), 2);
  EXPECT_EQ(buffer.highestField(far), 7);
  EXPECT_EQ(buffer.take({5, 1}), std::nullopt);
  EXPECT_EQ(buffer.take({5, 2}), "b");
  const std::vector<ShadowEncoderBuffer::Field> row = buffer.takeRow(far);
  ASSERT_EQ(row.size(), 2u);
  EXPECT_EQ(row[0].text, "c");
  EXPECT_EQ(row[1].index, 7);
  buffer.store("z", {9, 9});
  ShadowEncoderBuffer::Drained drained = buffer.drain();
  EXPECT_TRUE(buffer.empty());
  ShadowEncoderBuffer::Position position;
  std::string_view text;
  std::vector<std::string> order;
  while (drained.next(position, text)) order.push_back(std::to_string(position.row) + ":" + std::string(text));
  EXPECT_EQ(order, (std::vector<std::string>{"5:a2", "9:z"}));

  // Fields taken from the front, as an assembling writer takes them, leave the rest intact.
  ShadowEncoderBuffer assembling(2, 2);
  for (std::int64_t r = 0; r < 4; ++r)
    for (std::int64_t f = 0; f < 2; ++f) assembling.store(std::to_string(r * 2 + f), {r, f});
  assembling.store("early", {1, 0});
  EXPECT_EQ(assembling.take({0, 0}), "0");
  EXPECT_EQ(assembling.take({0, 1}), "1");
  EXPECT_EQ(assembling.takeRow(1).front().text, "early");
  EXPECT_EQ(assembling.rowCount(), 2);
  for (std::int64_t f = 0; f < 2; ++f) EXPECT_TRUE(assembling.remove({3, f}));
  EXPECT_EQ(assembling.highestRow(), 2);
  EXPECT_TRUE(assembling.follows({3, 0}));
  assembling.store("x", {0, 5});
  EXPECT_EQ(assembling.fieldCount(0), 1);
  EXPECT_EQ(assembling.take({2, 1}), "5");
  EXPECT_EQ(assembling.take({2, 0}), "4");
  EXPECT_EQ(assembling.take({0, 5}), "x");
  EXPECT_TRUE(assembling.empty());
}

TEST(EncoderBuffering, AFileKeepsWhatWasEncodedBeforeAFailure) {
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "out.csv";
  const CSVEncoder encoder(configured(Buffering::keepAll, {"a"}));
  const Custom failing{[](Encoder& output) {
    auto rows = output.unkeyedContainer();
    rows.encode(std::string("kept"));
    throw std::runtime_error("stop");
  }};
  EXPECT_THROW(encoder.encodeToFile(failing, file), std::runtime_error);
  EXPECT_EQ(fileText(file), "a\nkept\n");
}

}  // namespace
}  // namespace RecordCSV::encodertest
