// The reader against the literal one of ReferenceReader.hpp: rows, errors and the call
// after which the error shows must be the same.

#include <gtest/gtest.h>

#include <random>

#include "ReferenceReader.hpp"

namespace CSV {
namespace testing {

void PrintTo(const Outcome& outcome, std::ostream* out) {
  *out << "failure " << ::testing::PrintToString(outcome.constructionFailure) << " header "
       << ::testing::PrintToString(outcome.header);
  for (const auto& [row, error] : outcome.steps)
    *out << "\n  " << ::testing::PrintToString(row) << " error " << ::testing::PrintToString(error);
}

}  // namespace testing

namespace {

using testing::Form;
using testing::Outcome;

std::string utf16(const std::string& text, bool bigEndian) {
  std::string bytes;
  auto unit = [&](char32_t value) {
    const char high = static_cast<char>(value >> 8), low = static_cast<char>(value & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  };
  for (char32_t scalar : platform::toScalars(text)) {
    if (scalar >= 0x10000) {
      unit(0xD800 + ((scalar - 0x10000) >> 10));
      unit(0xDC00 + ((scalar - 0x10000) & 0x3FF));
    } else {
      unit(scalar);
    }
  }
  return bytes;
}

TEST(ReaderAgainstLiteralReader, AgreesWithTheLiteralReader) {
  const std::vector<std::string> pieces = {
      ",", ",", ";", "\t", "\"", "\"", "\"\"", "\r", "\n", "\n", "\r\n", " ", " ", "a", "bc", "xyz", "0123456789",
      "\u00E9", "\u20AC", "\U0001F600", "\u00A0", "\u2003", "\xFF", "\xC3", "\xE2\x82", "\xED\xA0\x80",
      "\xEF\xBB\xBF", "\xFE\xFF"};
  const std::vector<char32_t> delimiters = {U',', U',', U',', U';', U'\t', U' ', U'\u2003', U'\u00E9', U'"', U'\n'};
  const std::vector<platform::CharacterSet> whitespaces = {
      platform::CharacterSet::whitespaces(), platform::CharacterSet::whitespaces(),
      platform::CharacterSet{U' ', U';', U'\u00E9', U'x'}, platform::CharacterSet{U'"', U'\r', U'a'}};

  std::mt19937 random(20261207);
  auto pick = [&](const auto& values) -> const auto& {
    return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)];
  };
  auto chance = [&](int percent) { return std::uniform_int_distribution<int>(0, 99)(random) < percent; };
  for (int round = 0; round < 6000; ++round) {
    CSVReader::Configuration configuration;
    configuration.hasHeaderRow = chance(20);
    configuration.trimFields = chance(50);
    configuration.delimiter = pick(delimiters);
    configuration.whitespaces = pick(whitespaces);

    std::string text = chance(10) ? "\xEF\xBB\xBF" : "";
    const int length = std::uniform_int_distribution<int>(0, 20)(random);
    for (int i = 0; i < length; ++i) text += pick(pieces);

    testing::Input input;
    const bool bigEndian = round % 6 == 0, littleEndian = round % 6 == 1;
    input.form = bigEndian || littleEndian ? Form::utf16
                 : round % 6 == 2             ? Form::text
                 : round % 6 == 3             ? Form::memory
                                              : Form::utf8;
    // Every other round of each form reads into one reused table of fields.
    const bool intoFields = round / 6 % 2 == 1;
    input.bytes = text;
    if (input.form == Form::utf16) {
      input.bytes = utf16(text, bigEndian);
      input.endian = bigEndian ? Endian::big : Endian::unknown;
      if (littleEndian) input.bytes.insert(0, "\xFF\xFE");
      if (chance(20)) input.bytes += 'z';
    }
    if (chance(70))
      input.script.readingAtMost(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 7)(random)));
    if (chance(15))
      input.script.failingOnRead(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 8)(random)),
                                 chance(50));

    SCOPED_TRACE(::testing::Message() << "round " << round << " form " << static_cast<int>(input.form) << " input "
                                      << ::testing::PrintToString(input.bytes) << " delimiter U+" << std::hex
                                      << static_cast<unsigned>(configuration.delimiter) << " trim "
                                      << configuration.trimFields << " header " << configuration.hasHeaderRow
                                      << " fields " << intoFields);
    EXPECT_EQ(testing::readWithModule(input, configuration, intoFields),
              testing::readWithReference(input, configuration));
    if (::testing::Test::HasFailure()) break;
  }
}

// Bytes in memory read into fields take a path of their own for rows of plain fields: long
// inputs of mostly such rows, with every way a row can stop being plain.
TEST(ReaderAgainstLiteralReader, AgreesOnHeldBytesReadIntoFields) {
  const std::vector<std::string> pieces = {
      ",", ",", ",", "\n", "\r\n", "\r", "abc", "12.5", "2023-11-14T00:00:00Z", "\"", "\"quoted\"", "\"a,b\"\"c\"",
      "\"\"", "\u00E9", "\U0001F600", "\xFF", "\xC3", "\r\xC3", "\r\xE2\x82\xAC", "\"\r\n\"", ";", " ",
      std::string(70, 'x')};
  const std::vector<char32_t> delimiters = {U',', U',', U',', U';', U'"', U'\n', U'\r', U'\u00E9'};
  std::mt19937 random(7);
  auto pick = [&](const auto& values) -> const auto& {
    return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)];
  };
  for (int round = 0; round < 4000; ++round) {
    CSVReader::Configuration configuration;
    configuration.hasHeaderRow = round % 5 == 0;
    configuration.trimFields = round % 7 == 0;
    configuration.delimiter = pick(delimiters);
    testing::Input input;
    input.form = Form::memory;
    const int length = std::uniform_int_distribution<int>(0, 60)(random);
    for (int i = 0; i < length; ++i) input.bytes += pick(pieces);
    SCOPED_TRACE(::testing::Message() << "round " << round << " input " << ::testing::PrintToString(input.bytes)
                                      << " delimiter U+" << std::hex << static_cast<unsigned>(configuration.delimiter));
    EXPECT_EQ(testing::readWithModule(input, configuration, true), testing::readWithReference(input, configuration));
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace CSV
