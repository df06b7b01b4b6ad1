#include <gtest/gtest.h>

#include <random>

#include "CSV/CSVReader.hpp"
#include "CSV/CSVWriter.hpp"
#include "TestSupport.hpp"
#include "platform/core/Unicode.hpp"

namespace CSV {
namespace {

using Rows = std::vector<CSVReader::Row>;

TEST(WriterReaderRoundTrip, RowsWrittenWithWriteRowReadBackUnchanged) {
  const std::vector<std::string> pieces = {
      "a", "bc", " ", "  ", "\"", "\"\"", ",", ";", "\t", "|", "\r", "\n", "\r\n", "\u00E9", "\u2003", "\U0001F600",
      "\uFEFF", "\uFFFE", "0"};
  const std::vector<std::string> delimiters = {",", ";", "\t", "|", " ", "\u00E9", "\u2003"};
  std::mt19937 random(7);
  auto below = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
  for (int round = 0; round < 1500; ++round) {
    Rows rows(below(5));
    for (auto& row : rows) {
      row.resize(1 + below(4));
      for (auto& field : row)
        for (std::size_t i = below(4); i > 0; --i) field += pieces[below(pieces.size())];
    }
    // Without a byte-order mark written, a leading U+FEFF or U+FFFE would read as one.
    if (!rows.empty() && (rows[0][0].starts_with("\uFEFF") || rows[0][0].starts_with("\uFFFE"))) {
      std::string prefixed = "a";
      rows[0][0] = std::move(prefixed += rows[0][0]);
    }
    const std::string delimiter = delimiters[below(delimiters.size())];
    const auto newline = round % 2 ? CSVWriter::Newline::lf : CSVWriter::Newline::crlf;
    const int form = round % 5;  // UTF-8, UTF-16 big and little, UTF-32 big and little
    const Endian endian = form % 2 ? Endian::big : Endian::little;

    auto out = platform::OutputStream::toMemory();
    {
      std::optional<CSVWriter> writer;
      if (form == 0) writer.emplace(out, delimiter, newline);
      if (form == 1 || form == 2) writer.emplace(out, UTF16{}, endian, delimiter, newline);
      if (form == 3 || form == 4) writer.emplace(out, UTF32{}, endian, delimiter, newline);
      for (const auto& row : rows) writer->writeRow(row);
    }
    auto in = platform::InputStream::withData(*out->dataWrittenToMemory());
    const char32_t scalar = platform::toScalars(delimiter)[0];
    std::optional<CSVReader> reader;
    if (form == 0) reader.emplace(in, false, false, scalar);
    if (form == 1 || form == 2) reader.emplace(in, UTF16{}, endian, false, false, scalar);
    if (form == 3 || form == 4) reader.emplace(in, UTF32{}, endian, false, false, scalar);
    Rows read;
    for (const auto& row : *reader) read.push_back(row);
    EXPECT_EQ(read, rows) << "round " << round << " delimiter " << ::testing::PrintToString(delimiter);
    EXPECT_FALSE(reader->error());
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace CSV
