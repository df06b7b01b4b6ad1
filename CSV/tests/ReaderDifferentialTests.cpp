// The reader against a literal one written here: the Part's chain of byte reader,
// code-unit iterator and scalar iterator, one scalar at a time, and the row rules
// followed step by step. Rows, errors and the call after which the error shows
// must be the same.

#include <gtest/gtest.h>

#include <random>

#include "CSV/BinaryReader.hpp"
#include "CSV/CSVReader.hpp"
#include "CSV/UnicodeIterator.hpp"
#include "TestSupport.hpp"
#include "platform/core/Unicode.hpp"

namespace CSV {
namespace {

using Row = CSVReader::Row;

/// What a reader did: the header or the construction failure, then after each
/// `next()` the row and the error case it showed.
struct Outcome {
  std::optional<CSVError::Kind> constructionFailure;
  std::optional<Row> header;
  std::vector<std::pair<std::optional<Row>, std::optional<CSVError::Kind>>> steps;
  friend bool operator==(const Outcome&, const Outcome&) = default;
  friend void PrintTo(const Outcome& outcome, std::ostream* out) {
    *out << "failure " << ::testing::PrintToString(outcome.constructionFailure) << " header "
         << ::testing::PrintToString(outcome.header);
    for (const auto& [row, error] : outcome.steps)
      *out << "\n  " << ::testing::PrintToString(row) << " error " << ::testing::PrintToString(error);
  }
};

class ReferenceReader {
 public:
  using Next = std::function<std::optional<char32_t>()>;

  ReferenceReader(Next next, CSVReader::Configuration configuration)
      : next_(std::move(next)), configuration_(std::move(configuration)) {
    configuration_.whitespaces.remove(configuration_.delimiter);
  }
  std::optional<CSVError> error;

  std::optional<Row> readRow() {
    std::optional<char32_t> c = take();
    if (!c) return std::nullopt;
    Row row;
    for (;;) {
      if (configuration_.trimFields)
        while (c && isSpace(*c)) c = take();
      if (!c) {
        row.emplace_back();
        return row;
      }
      std::u32string field;
      bool rowEnded = false;
      if (*c == U'"') {
        for (;;) {
          const std::optional<char32_t> s = take();
          if (!s) {
            rowEnded = true;
            break;
          }
          if (*s != U'"') {
            field += *s;
            continue;
          }
          std::optional<char32_t> t = take();
          if (t && configuration_.trimFields)
            while (t && isSpace(*t)) t = take();
          if (!t || *t == U'\n') {
            rowEnded = true;
            break;
          }
          if (*t == U'\r') {
            giveBackUnlessLineFeed();
            rowEnded = true;
            break;
          }
          if (*t == configuration_.delimiter) break;
          field += U'"';
          if (*t != U'"') field += *t;
        }
      } else {
        for (;;) {
          if (*c == U'\n') {
            rowEnded = true;
            break;
          }
          if (*c == U'\r') {
            giveBackUnlessLineFeed();
            rowEnded = true;
            break;
          }
          if (*c == configuration_.delimiter) break;
          field += *c;
          c = take();
          if (!c) {
            rowEnded = true;
            break;
          }
        }
        if (configuration_.trimFields) {
          while (!field.empty() && isSpace(field.back())) field.pop_back();
          while (!field.empty() && isSpace(field.front())) field.erase(0, 1);
        }
      }
      row.push_back(platform::toUTF8(field));
      if (rowEnded) return row;
      c = take();
    }
  }

 private:
  bool isSpace(char32_t c) const { return configuration_.whitespaces.contains(c); }
  std::optional<char32_t> take() {
    if (back_) return std::exchange(back_, std::nullopt);
    return next_();
  }
  void giveBackUnlessLineFeed() {
    const std::optional<char32_t> u = take();
    if (u && *u != U'\n') back_ = u;
  }

  Next next_;
  CSVReader::Configuration configuration_;
  std::optional<char32_t> back_;
};

enum class Form { utf8, utf16Big, utf16Little, text };

/// The literal reader over a stream of `form`, built the way the Part builds it.
Outcome readWithReference(const std::string& bytes, Form form, const platform::InputStreamScript& script,
                          const CSVReader::Configuration& configuration) {
  Outcome outcome;
  std::shared_ptr<ReferenceReader> reader;
  auto hook = [&reader](const CSVError& failure) { reader->error = failure; };
  try {
    if (form == Form::text) {
      auto scalars = std::make_shared<std::u32string>(platform::toScalars(bytes));
      reader = std::make_shared<ReferenceReader>(
          [scalars, i = std::size_t{0}]() mutable -> std::optional<char32_t> {
            if (i == scalars->size()) return std::nullopt;
            return (*scalars)[i++];
          },
          configuration);
    } else if (form == Form::utf8) {
      auto binary = std::make_shared<BinaryReader>(testing::streamOf(bytes, script), Endian::unknown, true,
                                                   CSVReader::bufferSize, 1);
      BinaryReader::UInt8Iterator units(binary);
      units.setErrorHandler(hook);
      auto scalars = std::make_shared<UnicodeIterator<BinaryReader::UInt8Iterator, UTF8>>(std::move(units));
      scalars->setErrorHandler(hook);
      reader = std::make_shared<ReferenceReader>([scalars] { return scalars->next(); }, configuration);
    } else {
      auto binary = std::make_shared<BinaryReader>(testing::streamOf(bytes, script),
                                                   form == Form::utf16Big ? Endian::big : Endian::unknown, true,
                                                   CSVReader::bufferSize, 2);
      BinaryReader::UInt16Iterator units(binary);
      units.setErrorHandler(hook);
      auto scalars = std::make_shared<UnicodeIterator<BinaryReader::UInt16Iterator, UTF16>>(std::move(units));
      scalars->setErrorHandler(hook);
      reader = std::make_shared<ReferenceReader>([scalars] { return scalars->next(); }, configuration);
    }
    if (configuration.hasHeaderRow) {
      std::optional<Row> header = reader->readRow();
      if (reader->error) throw *reader->error;
      if (!header) throw CSVError::cannotReadHeaderRow();
      outcome.header = std::move(header);
    }
  } catch (const CSVError& failure) {
    outcome.constructionFailure = failure.kind();
    return outcome;
  }
  for (;;) {
    std::optional<Row> row = reader->error ? std::nullopt : reader->readRow();
    outcome.steps.emplace_back(row, testing::kindOf(reader->error));
    if (!row) break;
  }
  // Holds the chain to the end; the hooks refer to the reader only.
  reader.reset();
  return outcome;
}

Outcome readWithModule(const std::string& bytes, Form form, const platform::InputStreamScript& script,
                       const CSVReader::Configuration& c) {
  Outcome outcome;
  std::optional<CSVReader> reader;
  try {
    auto stream = testing::streamOf(bytes, script);
    if (form == Form::text) reader.emplace(bytes, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
    if (form == Form::utf8) reader.emplace(stream, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
    if (form == Form::utf16Big)
      reader.emplace(stream, UTF16{}, Endian::big, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
    if (form == Form::utf16Little)
      reader.emplace(stream, UTF16{}, Endian::unknown, c.hasHeaderRow, c.trimFields, c.delimiter, c.whitespaces);
  } catch (const CSVError& failure) {
    outcome.constructionFailure = failure.kind();
    return outcome;
  }
  outcome.header = reader->headerRow();
  for (;;) {
    const std::optional<Row>& row = reader->next();
    outcome.steps.emplace_back(row, testing::kindOf(reader->error()));
    if (!row) break;
  }
  return outcome;
}

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

    const Form form = round % 6 == 0 ? Form::utf16Big : round % 6 == 1 ? Form::utf16Little
                      : round % 6 == 2 ? Form::text : Form::utf8;
    std::string bytes = text;
    if (form == Form::utf16Big || form == Form::utf16Little) {
      bytes = utf16(text, form == Form::utf16Big);
      if (form == Form::utf16Little) bytes.insert(0, "\xFF\xFE");
      if (chance(20)) bytes += 'z';
    }
    platform::InputStreamScript script;
    if (chance(70)) script.readingAtMost(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 7)(random)));
    if (chance(15)) script.failingOnRead(static_cast<std::size_t>(std::uniform_int_distribution<int>(1, 8)(random)), chance(50));

    SCOPED_TRACE(::testing::Message() << "round " << round << " form " << static_cast<int>(form) << " input "
                                      << ::testing::PrintToString(bytes) << " delimiter U+" << std::hex
                                      << static_cast<unsigned>(configuration.delimiter) << " trim "
                                      << configuration.trimFields << " header " << configuration.hasHeaderRow);
    EXPECT_EQ(readWithModule(bytes, form, script, configuration),
              readWithReference(bytes, form, script, configuration));
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace CSV
