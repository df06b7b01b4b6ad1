// Decoding every row as a list of texts gives what the reader reads, on random inputs, with
// either row buffer and row by row; a reader's failure surfaces and never loops.

#include <random>

#include "decoder/DecoderTestSupport.hpp"

namespace RecordCSV {
namespace {

using Rows = std::vector<std::vector<std::string>>;

struct Outcome {
  Rows rows;
  std::string error;  // the reader's failure reason, empty without one
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << outcome.rows.size() << " rows";
  for (const auto& row : outcome.rows) {
    *out << " [";
    for (const auto& field : row) *out << "\"" << field << "\" ";
    *out << "]";
  }
  *out << ", error \"" << outcome.error << "\"";
}

Outcome byReader(const std::string& text) {
  Outcome outcome;
  try {
    CSVReader reader = CSVReader::initWithString(text, CSVReader::Configuration{});
    while (std::optional<std::vector<std::string>> row = reader.readRow()) outcome.rows.push_back(std::move(*row));
  } catch (const CSVReaderError& error) {
    outcome.error = error.failureReason().value_or("");
  }
  return outcome;
}

Outcome byDecoder(const std::string& text, Strategy::DecodingBuffer buffering) {
  CSVDecoder decoder;
  decoder.setBufferingStrategy(buffering);
  Outcome outcome;
  try {
    outcome.rows = decoder.decode<Rows>(text);
  } catch (const CSVReaderError& error) {
    outcome.error = error.failureReason().value_or("");
  }
  return outcome;
}

Outcome byLazyDecoder(const std::string& text) {
  CSVDecoder decoder;
  decoder.setBufferingStrategy(Strategy::DecodingBuffer::sequential);
  Outcome outcome;
  CSVDecoder::Lazy lazy = decoder.lazy(text);
  for (const CSVDecoder::Lazy::Row& row : lazy) {
    try {
      outcome.rows.push_back(row.decode<std::vector<std::string>>());
    } catch (const CSVReaderError& error) {
      outcome.error = error.failureReason().value_or("");
    }
  }
  return outcome;
}

/// Reads nothing of its row.
struct Nothing {
  static Nothing decode(platform::coding::Decoder&) { return {}; }
};

TEST(DecoderDifferential, RowsAsTextsMatchTheReader) {
  const std::vector<std::string> pieces = {"a", "bc", ",", "\n", "\r\n", "\"", "\"\"", " ", "\u00E9", ""};
  std::mt19937 random(20261207);
  int failures = 0;
  for (int i = 0; i < 600; ++i) {
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 14)(random);
    for (int k = 0; k < length; ++k)
      text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    SCOPED_TRACE(::testing::Message() << "input: \"" << text << "\"");
    const Outcome expected = byReader(text);
    failures += !expected.error.empty();
    // A whole decode that fails gives the failure alone; row by row, the rows before it remain.
    const Outcome whole{expected.error.empty() ? expected.rows : Rows{}, expected.error};
    EXPECT_EQ(byDecoder(text, Strategy::DecodingBuffer::keepAll), whole);
    EXPECT_EQ(byDecoder(text, Strategy::DecodingBuffer::sequential), whole);
    EXPECT_EQ(byLazyDecoder(text), expected);
    // Elements that read nothing still come to an end: one for each row and one for a failure.
    EXPECT_EQ(CSVDecoder().decode<std::vector<Nothing>>(text).size(),
              expected.rows.size() + (expected.error.empty() ? 0 : 1));
  }
  EXPECT_GT(failures, 50);  // the inputs reach the reader's failures often enough
}

}  // namespace
}  // namespace RecordCSV
