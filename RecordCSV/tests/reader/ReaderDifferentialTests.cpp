// The parser against a small reference reader that follows the scalar-level rules
// literally: one scalar at a time, a give-back stack, closure-like matchers.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "RecordCSV/UTF8Source.hpp"
#include "platform/core/Unicode.hpp"
#include "reader/ReaderDialects.hpp"
#include "reader/ReaderTestSupport.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {
namespace {

using testing::Failure;
using testing::Outcome;

struct ReferenceError {
  Failure failure;
};

Failure invalidInput(const char* reason, const char* help, std::optional<std::int64_t> row = {}) {
  return {2, reason, help, row};
}

class ReferenceReader {
 public:
  enum class Encoding { utf8, utf16BigEndian };

  ReferenceReader(std::string bytes, Encoding encoding, const CSVReader::Configuration& configuration)
      : bytes_(std::move(bytes)), encoding_(encoding) {
    field_ = configuration.delimiters.field.scalars;
    rows_.assign(configuration.delimiters.row.scalars.begin(), configuration.delimiters.row.scalars.end());
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return a.size() < b.size(); });
    escape_ = configuration.escapingStrategy.scalar();
    trim_ = configuration.trimStrategy;
    const Strategy::Header header = configuration.headerStrategy;
    if (header.kind() == Strategy::Header::Kind::none) return;
    const std::int64_t line = header.kind() == Strategy::Header::Kind::lineNumber ? header.line() : 0;
    for (std::int64_t i = 0; i < line; ++i)
      if (!parseRow(0)) break;
    std::optional<std::vector<std::string>> row = parseRow(line);
    if (!row) {
      finished_ = true;
      return;
    }
    if (isEmptyLine(*row))
      throw ReferenceError{{1, "A header line was expected, but an empty line was found instead.",
                            "Make sure there is a header line at the very beginning of the file or mark the "
                            "configuration as 'no header'.",
                            {}}};
    headers_ = *row;
    rowCount_ = 1;
    fieldCount_ = static_cast<std::int64_t>(row->size());
  }

  const std::vector<std::string>& headers() const { return headers_; }

  std::optional<std::vector<std::string>> readRow() {
    if (failed_) throw ReferenceError{*failed_};
    if (finished_) return std::nullopt;
    try {
      for (;;) {
        std::optional<std::vector<std::string>> row = parseRow(rowCount_);
        if (!row) {
          finished_ = true;
          return std::nullopt;
        }
        if (isEmptyLine(*row)) continue;
        const auto size = static_cast<std::int64_t>(row->size());
        if (rowCount_ <= 0) {
          fieldCount_ = size;
        } else if (size != fieldCount_) {
          Failure failure = invalidInput(
              "The number of fields is not constant between rows.",
              "Make sure the CSV file has always the same amount of fields per row (including the header row).",
              rowCount_ + 1);
          throw ReferenceError{failure};
        }
        ++rowCount_;
        return row;
      }
    } catch (const ReferenceError& error) {
      failed_ = error.failure;
      throw;
    }
  }

 private:
  // The scalar source: one scalar per call.
  std::optional<char32_t> decode() {
    if (encoding_ == Encoding::utf16BigEndian) return decodeUTF16();
    if (offset_ == bytes_.size()) return std::nullopt;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes_.data());
    const unsigned char b0 = s[offset_];
    if (b0 < 0x80) return s[offset_++];
    if (b0 < 0xC2 || b0 > 0xF4) throw ReferenceError{utf8Error()};
    const std::size_t length = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    if (platform::wellFormedUTF8Length(s + offset_, bytes_.size() - offset_) != length)
      throw ReferenceError{utf8Error()};
    const std::u32string scalar = platform::toScalars(bytes_.substr(offset_, length));
    offset_ += length;
    return scalar[0];
  }
  static Failure utf8Error() {
    return invalidInput("Some input bytes couldn't be decoded as UTF8 characters",
                        "Make sure the CSV only contains UTF8 characters or select a different encoding.");
  }
  std::optional<char32_t> unit16() {
    if (offset_ == bytes_.size()) return std::nullopt;
    if (offset_ + 1 == bytes_.size()) {
      ++offset_;
      incomplete_ = true;
      return std::nullopt;
    }
    const auto unit = static_cast<char32_t>(static_cast<unsigned char>(bytes_[offset_]) << 8 |
                                            static_cast<unsigned char>(bytes_[offset_ + 1]));
    offset_ += 2;
    return unit;
  }
  std::optional<char32_t> decodeUTF16() {
    const Failure invalid = invalidInput("Some input bytes couldn't be decoded as multibyte UTF16",
                                         "Make sure the CSV only contains UTF16 characters.");
    const std::optional<char32_t> unit = unit16();
    if (!unit) {
      if (incomplete_)
        throw ReferenceError{
            invalidInput("The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).",
                         "Check the last UTF16 character of your input data/file.")};
      return std::nullopt;
    }
    if (*unit < 0xD800 || *unit > 0xDFFF) return unit;
    if (*unit > 0xDBFF) throw ReferenceError{invalid};
    const std::optional<char32_t> low = unit16();
    if (!low || *low < 0xDC00 || *low > 0xDFFF) throw ReferenceError{invalid};
    return 0x10000 + (*unit - 0xD800) * 0x400 + (*low - 0xDC00);
  }

  std::optional<char32_t> read() {
    if (!stack_.empty()) {
      const char32_t scalar = stack_.back();
      stack_.pop_back();
      return scalar;
    }
    return decode();
  }
  void giveBack(const std::u32string& ahead) {
    for (auto it = ahead.rbegin(); it != ahead.rend(); ++it) stack_.push_back(*it);
  }

  bool matchSequence(char32_t c, const std::u32string& delimiter) {
    if (c != delimiter[0]) return false;
    std::u32string ahead;
    for (std::size_t i = 1; i < delimiter.size(); ++i) {
      const std::optional<char32_t> next = read();
      if (!next) {
        giveBack(ahead);
        return false;
      }
      ahead += *next;
      if (*next != delimiter[i]) {
        giveBack(ahead);
        return false;
      }
    }
    return true;
  }
  bool isField(char32_t c) { return matchSequence(c, field_); }
  bool isRow(char32_t c) {
    if (rows_.size() == 1) return matchSequence(c, rows_[0]);
    const std::size_t longest = rows_.back().size();
    if (longest == 1)
      return std::any_of(rows_.begin(), rows_.end(), [&](const auto& member) { return member[0] == c; });
    if (longest == 2) {
      for (const auto& member : rows_)
        if (member.size() == 1 && member[0] == c) return true;
      const std::optional<char32_t> next = read();
      if (!next) return false;
      for (const auto& member : rows_)
        if (member.size() == 2 && member[0] == c && member[1] == *next) return true;
      giveBack(std::u32string(1, *next));
      return false;
    }
    std::u32string ahead;
    for (const auto& member : rows_) {
      if (member[0] != c) continue;
      bool matches = true;
      for (std::size_t i = 1; i < member.size() && matches; ++i) {
        if (i - 1 == ahead.size()) {
          const std::optional<char32_t> next = read();
          if (!next) {
            giveBack(ahead);
            return false;
          }
          ahead += *next;
        }
        matches = ahead[i - 1] == member[i];
      }
      if (matches) return true;
    }
    giveBack(ahead);
    return false;
  }

  /// One empty field that was not escaped: an escaped one is an empty value.
  bool isEmptyLine(const std::vector<std::string>& row) const {
    return row.size() == 1 && row.front().empty() && !rowEscaped_;
  }

  std::optional<std::vector<std::string>> parseRow(std::int64_t rowIndex) {
    std::vector<std::string> row;
    rowEscaped_ = false;
    for (;;) {
      const std::optional<char32_t> s = read();
      if (!s) {
        if (row.empty()) return std::nullopt;
        row.emplace_back();
        return row;
      }
      if (!trim_.empty() && trim_.contains(*s)) continue;
      bool rowEnded = false;
      if (escape_ && *s == *escape_) {
        rowEscaped_ = true;
        rowEnded = parseEscaped(rowIndex, row);
      } else if (isField(*s)) {
        row.emplace_back();
      } else if (isRow(*s)) {
        row.emplace_back();
        rowEnded = true;
      } else {
        rowEnded = parseUnescaped(*s, rowIndex, row);
      }
      if (rowEnded) return row;
    }
  }

  bool parseUnescaped(char32_t first, std::int64_t rowIndex, std::vector<std::string>& row) {
    std::u32string buffer(1, first);
    bool rowEnded = true;
    for (;;) {
      const std::optional<char32_t> c = read();
      if (!c) break;
      if (escape_ && *c == *escape_)
        throw ReferenceError{invalidInput(
            "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
            "escaped.",
            "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping "
            "scalar found within the field.",
            rowIndex)};
      if (isField(*c)) {
        rowEnded = false;
        break;
      }
      if (isRow(*c)) break;
      buffer += *c;
    }
    while (!trim_.empty() && !buffer.empty() && trim_.contains(buffer.back())) buffer.pop_back();
    row.push_back(platform::toUTF8(buffer));
    return rowEnded;
  }

  bool parseEscaped(std::int64_t rowIndex, std::vector<std::string>& row) {
    std::u32string buffer;
    std::optional<char32_t> t;
    for (;;) {
      const std::optional<char32_t> c = read();
      if (!c)
        throw ReferenceError{invalidInput(
            "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End of "
            "File) was encountered before the field matched at the end with the closing escaping scalar.",
            "End the targeted field with the scaping scalar (double quotes by default).", rowIndex)};
      if (*c != *escape_) {
        buffer += *c;
        continue;
      }
      t = read();
      if (!t) {
        row.push_back(platform::toUTF8(buffer));
        return true;
      }
      if (*t == *escape_) {
        buffer += *t;
        continue;
      }
      break;
    }
    if (!trim_.empty() && trim_.contains(*t)) {
      do {
        t = read();
        if (!t) {
          row.push_back(platform::toUTF8(buffer));
          return true;
        }
      } while (trim_.contains(*t));
    }
    if (isField(*t)) {
      row.push_back(platform::toUTF8(buffer));
      return false;
    }
    if (isRow(*t)) {
      row.push_back(platform::toUTF8(buffer));
      return true;
    }
    throw ReferenceError{invalidInput(
        "The targeted field parsed successfully. However, the character right after it was not a field nor row "
        "delimiter.",
        *t == U'\r' ? "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for "
                      "\"\\r\"."
                    : "There seems to be some characters after the escaping character and before the next field "
                      "or the end of the row. Please remove those.",
        rowIndex)};
  }

  std::string bytes_;
  Encoding encoding_;
  std::size_t offset_ = 0;
  bool incomplete_ = false;
  std::vector<char32_t> stack_;
  std::u32string field_;
  std::vector<std::u32string> rows_;
  std::optional<char32_t> escape_;
  platform::CharacterSet trim_;
  std::vector<std::string> headers_;
  std::int64_t rowCount_ = 0;
  std::int64_t fieldCount_ = 0;
  bool finished_ = false;
  bool rowEscaped_ = false;  // the row parsed last opened an escaped field
  std::optional<Failure> failed_;
};

Outcome readWithReference(const std::string& bytes, ReferenceReader::Encoding encoding,
                          const CSVReader::Configuration& configuration) {
  Outcome outcome;
  std::optional<ReferenceReader> reader;
  try {
    reader.emplace(bytes, encoding, configuration);
  } catch (const ReferenceError& error) {
    outcome.failure = error.failure;
    outcome.failedOnCreation = true;
    return outcome;
  }
  outcome.headers = reader->headers();
  try {
    while (auto row = reader->readRow()) outcome.rows.push_back(std::move(*row));
  } catch (const ReferenceError& error) {
    outcome.failure = error.failure;
  }
  return outcome;
}

/// Hands out one scalar per call, so every read-ahead of the parser crosses a refill.
class TrickleSource final : public UTF8Source {
 public:
  explicit TrickleSource(std::string bytes) : bytes_(std::move(bytes)) { data_ = bytes_.data(); }
  bool advance(std::size_t consumed) override {
    data_ += consumed;
    size_ -= consumed;
    const std::size_t next = static_cast<std::size_t>(data_ - bytes_.data()) + size_;
    if (next == bytes_.size()) return false;
    const std::size_t length =
        platform::wellFormedUTF8Length(reinterpret_cast<const unsigned char*>(bytes_.data()) + next, bytes_.size() - next);
    if (length == 0)
      throw CSVReaderError(CSVReader::Error::invalidInput, "Some input bytes couldn't be decoded as UTF8 characters",
                           "Make sure the CSV only contains UTF8 characters or select a different encoding.");
    size_ += length;
    return true;
  }

 private:
  std::string bytes_;
};

// A data blob, one scalar per refill, bytes in small blocks as a stream gives them, and
// such a stream whose last read fails.
enum class Feed { blob, trickle, chopped, failingStream };

Outcome readFed(const std::string& bytes, const CSVReader::Configuration& configuration, Feed feed,
                std::size_t blockSize) {
  switch (feed) {
    case Feed::blob: return testing::readBytes(bytes, configuration);
    case Feed::trickle:
      return testing::readAll([&] { return CSVReader(configuration, std::make_unique<TrickleSource>(bytes)); });
    case Feed::chopped:
    case Feed::failingStream: break;
  }
  return testing::readAll([&] {
    return CSVReader(configuration, CSVReader::makeDecoder(std::make_unique<testing::ChoppedBytes>(
                                                               bytes, blockSize, feed == Feed::failingStream),
                                                           platform::TextEncoding::utf8()));
  });
}

/// Reads `bytes` fed one way with every scan kernel, the byte engine included, and
/// expects what the reference read.
void expectEveryKernelGives(const Outcome& expected, const std::string& bytes,
                            const CSVReader::Configuration& configuration, Feed feed, std::size_t blockSize) {
  for (const scan::Kernel kernel : scan::availableKernels()) {
    scan::pinKernel(kernel);
    const Outcome actual = readFed(bytes, configuration, feed, blockSize);
    scan::pinKernel(std::nullopt);
    SCOPED_TRACE(::testing::Message() << "kernel " << static_cast<int>(kernel) << " feed " << static_cast<int>(feed));
    EXPECT_EQ(actual.failedOnCreation, expected.failedOnCreation);
    EXPECT_EQ(actual.headers, expected.headers);
    EXPECT_EQ(actual.rows, expected.rows);
    EXPECT_EQ(actual.failure, expected.failure);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(ReaderDifferential, AgreesWithTheScalarReference) {
  const std::vector<std::string> pieces = {
      ",", ",", ";", ":", "::", "\n", "\n", "\r", "\r\n", " ", " ", "\t", "\"", "\"", "\"\"", "'", "a", "b", "xyz",
      "<", "br", ">", "<br>", "\u00E9", "\u00E8", "\u00A0", "\U0001F600", "\xFF", "\xC3", "\xE2\x82"};
  using namespace testing::dialects;
  std::mt19937 random(20261207);
  auto pick = [&](const auto& values) { return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)]; };
  int compared = 0;
  for (int round = 0; round < 12000; ++round) {
    CSVReader::Configuration configuration = randomConfiguration(random);
    try {
      const CSVReader::Settings settings(configuration);
    } catch (const CSVReaderError&) {
      continue;  // configuration rules have their own tests
    }
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 24)(random);
    for (int i = 0; i < length; ++i) text += pick(pieces);

    const bool asUTF16 = round % 5 == 0;
    std::string bytes = text;
    if (asUTF16) {
      bytes = testing::utf16BigEndian(text);
      if (round % 3 == 0) bytes += '\0';  // an odd byte count
      if (round % 7 == 0) bytes.insert(bytes.size() / 2 & ~std::size_t{1}, "\xDC\x00", 2);
    }
    configuration.encoding = asUTF16 ? platform::TextEncoding::utf16BigEndian() : platform::TextEncoding::utf8();

    const Outcome expected = readWithReference(
        bytes, asUTF16 ? ReferenceReader::Encoding::utf16BigEndian : ReferenceReader::Encoding::utf8, configuration);
    const Feed feed = round % 5 == 1 ? Feed::trickle : round % 5 == 2 ? Feed::chopped : Feed::blob;
    const auto blockSize = static_cast<std::size_t>(round % 4 + 1);
    ++compared;
    SCOPED_TRACE(::testing::Message() << "round " << round << " input " << ::testing::PrintToString(bytes));
    expectEveryKernelGives(expected, bytes, configuration, feed, blockSize);
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(compared, 8000);
}

TEST(ReaderDifferential, TrimmingInTheVectorScanAgreesWithTheReference) {
  // Where the scan leaves trimming to the byte engine: the text ends within trim scalars, a
  // trim scalar lies beyond ASCII, or a byte is shared with one.
  const std::vector<std::string> inputs = {
      "a, ", "a,\t", "a,\u00A0", "a, \u00A0", "a,b\n \t", "  a  ,  b  \n", " \"a\" ,\t\"b\"\t\n",
      "\u00A0a\u2003,\u3000b \u00A0\n", "\u00A9a,b\u00A9\n", "a\u2010,\u2010b\n", "\u00E0 ,  \u00E0\n",
      "  \n  \n", "a, \"b\" x\n", "a,  b\"c\n", "   ", " , \n", "a,b\r\n  \r\n", "a ,\"b\" \r\n",
      "\"a\" , b", "x,\"a\"  ", std::string(70, ' ') + "a," + std::string(61, ' ') + "b " + "\n"};
  const std::vector<std::vector<std::string>> rowSets = {{"\n"}, {"\r\n"}, {"\n", "\r", "\r\n"}};
  const std::vector<platform::CharacterSet> trims = {platform::CharacterSet::whitespaces(),
                                                     platform::CharacterSet{U' ', U'\t'}};
  // An input of trim scalars alone has no header line; one empty field would be an empty one.
  const std::vector<Strategy::Header> headers = {Strategy::Header::none(), Strategy::Header::firstLine()};
  for (const std::string& input : inputs)
    for (const std::vector<std::string>& rows : rowSets)
      for (const platform::CharacterSet& trim : trims)
        for (const Strategy::Header& header : headers) {
          CSVReader::Configuration configuration;
          configuration.delimiters.row = *Delimiter::Row::fromTexts(rows);
          configuration.trimStrategy = trim;
          configuration.headerStrategy = header;
          configuration.encoding = platform::TextEncoding::utf8();
          const Outcome expected = readWithReference(input, ReferenceReader::Encoding::utf8, configuration);
          SCOPED_TRACE(::testing::Message() << "input " << ::testing::PrintToString(input) << " rows " << rows.size());
          for (const Feed feed : {Feed::blob, Feed::trickle, Feed::chopped})
            expectEveryKernelGives(expected, input, configuration, feed, 3);
          if (::testing::Test::HasFailure()) return;
        }
}

TEST(ReaderDifferential, VectorScanOfTheCommonDialectsAgreesWithTheReference) {
  // Long enough to cross many 64-byte windows and the blocks a stream is fed in.
  const std::vector<std::string> pieces = {
      ",", ",", ",", ";", "\t", "\n", "\n", "\r", "\r\n", "\r\n", "\"", "\"", "\"\"", "\",\"", "\"\n",
      " ", "a", "b", "xyz", "IMG_0001.jpg", "Ms. Green, PhD", "0123456789abcdefghijklmnopqrstuvwxyz",
      "\u00E9", "\u00FC", "\U0001F600",
      // Trim scalars, and scalars that share their first or last byte with one.
      " ", "  ", "\t", " \t ", "\u00A0", "\u2003", "\u3000", "\u00A9", "\u2010", "\u00E0"};
  const std::vector<std::string> fieldDelimiters = {",", ",", ";", "\t", "|", " "};
  // The importer trims white space by default; a trim set holding a delimiter is refused.
  const std::vector<platform::CharacterSet> trims = {
      {}, {}, platform::CharacterSet::whitespaces(), platform::CharacterSet{U' '}, platform::CharacterSet{U' ', U'\t'},
      platform::CharacterSet{U'x', U'\u00E9'}};
  const std::vector<std::string> pads = {"", " ", "\t ", "\u00A0", " \u2003 "};
  const std::vector<std::vector<std::string>> rowSets = {{"\n"}, {"\r"}, {"\r\n"}, {"\n", "\r\n"},
                                                         {"\r", "\n"}, {"\n", "\r", "\r\n"}, {"\r", "\r\n"}};
  const std::vector<Strategy::Header> headers = {Strategy::Header::none(), Strategy::Header::firstLine(),
                                                 Strategy::Header::lineNumber(1)};

  std::mt19937 random(20261208);
  auto pick = [&](const auto& values) { return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)]; };
  for (int round = 0; round < 2500; ++round) {
    CSVReader::Configuration configuration;
    configuration.delimiters.field = Delimiter::Field(pick(fieldDelimiters));
    configuration.delimiters.row = *Delimiter::Row::fromTexts(pick(rowSets));
    configuration.escapingStrategy = round % 4 == 0 ? Strategy::Escaping::none() : Strategy::Escaping::standard();
    configuration.headerStrategy = pick(headers);
    configuration.encoding = platform::TextEncoding::utf8();
    configuration.trimStrategy = pick(trims);
    try {
      const CSVReader::Settings settings(configuration);
    } catch (const CSVReaderError&) {
      configuration.trimStrategy = {};
    }

    // Mostly well-formed rows of a fixed width, so that reading goes deep before any failure.
    std::string bytes;
    const int rows = std::uniform_int_distribution<int>(0, 40)(random);
    const int width = std::uniform_int_distribution<int>(1, 6)(random);
    std::vector<std::string> rowEnds;
    for (const std::u32string& member : configuration.delimiters.row.scalars) rowEnds.push_back(platform::toUTF8(member));
    rowEnds.push_back("\r\n");  // text, or a failure after an escaped field, where it is no row delimiter
    for (int row = 0; row < rows; ++row) {
      for (int field = 0; field < width; ++field) {
        if (field > 0) bytes += platform::toUTF8(configuration.delimiters.field.scalars);
        const int length = std::uniform_int_distribution<int>(0, 6)(random);
        std::string text;
        for (int i = 0; i < length; ++i) text += pick(pieces);
        // Bytes that are no UTF-8 in some rounds only, so that most rounds read to the end.
        if (round % 8 == 5 && random() % 16 == 0) text += random() % 2 ? "\xFF" : "\xC3";
        const bool escaped = round % 4 != 0 && random() % 3 == 0;
        if (escaped) {
          std::string quoted = "\"";
          for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
          text = quoted + "\"";
        }
        if (random() % 4 == 0) text = pick(pads) + text + pick(pads);
        bytes += text;
      }
      bytes += pick(rowEnds);
    }
    if (round % 2 == 0 && !bytes.empty()) bytes.pop_back();
    // Input that ends in trim scalars, after a row or a field.
    if (round % 3 == 1) bytes += pick(pads);
    if (round % 5 == 3) bytes += platform::toUTF8(configuration.delimiters.field.scalars) + pick(pads);

    const Outcome expected = readWithReference(bytes, ReferenceReader::Encoding::utf8, configuration);
    SCOPED_TRACE(::testing::Message() << "round " << round << " input " << ::testing::PrintToString(bytes));
    const auto blockSize = static_cast<std::size_t>(round % 97 + 1);
    for (const Feed feed : {Feed::blob, Feed::trickle, Feed::chopped})
      expectEveryKernelGives(expected, bytes, configuration, feed, blockSize);
    // The reference knows no streams: a failed last read must end the same rows in every engine.
    scan::pinKernel(scan::Kernel::byteEngine);
    const Outcome byBytes = readFed(bytes, configuration, Feed::failingStream, blockSize);
    scan::pinKernel(std::nullopt);
    expectEveryKernelGives(byBytes, bytes, configuration, Feed::failingStream, blockSize);
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace
}  // namespace RecordCSV
