// The writer against a literal reference that escapes and encodes one scalar at a time: random
// fields (escaping scalars, delimiters, CR, LF, text beyond ASCII, ill-formed bytes) of every
// length, written by every kind of call in every dialect and encoding the writer offers, must
// leave the same bytes, errors and counters.

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV {
namespace {

enum class Encoding { utf8, ascii, utf16, utf16BigEndian, utf16LittleEndian, utf32, utf32BigEndian,
                      utf32LittleEndian, shiftJIS };

struct Dialect {
  std::string field;
  Delimiter::Row rows;
  std::u32string row;  // the one the writer writes
  std::optional<char32_t> escaping;
  Encoding encoding;
  std::vector<std::string> headers;
};

enum class Call { writeField, writeFields, writeRow, endRow, writeEmptyRow };

struct Step {
  Call call;
  std::vector<std::string> fields;
};

struct Result {
  std::string bytes;
  std::vector<std::string> errors;  // failure reason and the user information that names the cause
  std::int64_t rowIndex = 0, fieldIndex = 0, expectedFields = 0;
  friend bool operator==(const Result&, const Result&) = default;
};

struct Failure {
  std::string text;
};

/// The writer's rules, scalar by scalar, into bytes that nothing can refuse.
class ReferenceWriter {
 public:
  explicit ReferenceWriter(const Dialect& dialect)
      : field_(platform::toScalars(dialect.field)), row_(dialect.row), escaping_(dialect.escaping),
        encoding_(dialect.encoding) {
    // The field delimiter, then the set's members, shortest first: the written one leads them.
    delimiters_.push_back(field_);
    delimiters_.insert(delimiters_.end(), dialect.rows.scalars.begin(), dialect.rows.scalars.end());
  }

  Result run(const std::vector<std::string>& headers, const std::vector<Step>& steps) {
    Result result;
    if (!headers.empty()) {
      try {
        writeFields(headers);
        endRow();
        rowIndex_ = 0;
      } catch (const Failure& failure) {
        // A header row that cannot be written is refused before the output is touched.
        result.errors.push_back(failure.text);
        return result;
      }
    }
    for (const Step& step : steps) {
      try {
        switch (step.call) {
          case Call::writeField: writeFields({step.fields.front()}); break;
          case Call::writeFields: writeFields(step.fields); break;
          case Call::writeRow:
            writeFields(step.fields);
            endRow();
            break;
          case Call::endRow: endRow(); break;
          case Call::writeEmptyRow: emptyRow(); break;
        }
      } catch (const Failure& failure) {
        result.errors.push_back(failure.text);
      }
    }
    if (fieldIndex_ > 0) {
      try {
        endRow();
      } catch (const Failure& failure) {
        result.errors.push_back(failure.text);
      }
    }
    result.bytes = bytes_;
    result.rowIndex = rowIndex_;
    result.fieldIndex = fieldIndex_;
    result.expectedFields = expectedFields_;
    return result;
  }

 private:
  void put16(std::uint32_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes_ += bigEndian ? high : low;
    bytes_ += bigEndian ? low : high;
  }

  void send(char32_t scalar) {
    switch (encoding_) {
      case Encoding::utf8: platform::appendUTF8(bytes_, scalar); return;
      case Encoding::ascii:
        if (scalar >= 0x80) throw Failure{"The Unicode Scalar is not an ASCII character. " + hex(scalar)};
        bytes_ += static_cast<char>(scalar);
        return;
      case Encoding::shiftJIS: {
        static const std::map<char32_t, std::string> table = {
            {U'\u3042', "\x82\xA0"}, {U'\u00B6', "\x81\xF7"}, {U'\u2192', "\x81\xA8"}};
        if (scalar < 0x80) {
          bytes_ += static_cast<char>(scalar);
        } else if (auto found = table.find(scalar); found != table.end()) {
          bytes_ += found->second;
        } else {
          throw Failure{"The Unicode Scalar couldn't be encoded to multibyte Shift-JIS " + hex(scalar)};
        }
        return;
      }
      case Encoding::utf16:
      case Encoding::utf16BigEndian:
      case Encoding::utf16LittleEndian: {
        const bool bigEndian = encoding_ != Encoding::utf16LittleEndian;
        if (scalar < 0x10000) {
          put16(scalar, bigEndian);
        } else {
          put16(0xD800 + ((scalar - 0x10000) >> 10), bigEndian);
          put16(0xDC00 + ((scalar - 0x10000) & 0x3FF), bigEndian);
        }
        return;
      }
      case Encoding::utf32:
      case Encoding::utf32BigEndian:
      case Encoding::utf32LittleEndian: {
        const bool bigEndian = encoding_ != Encoding::utf32LittleEndian;
        for (int k = 0; k < 4; ++k)
          bytes_ += static_cast<char>(scalar >> (bigEndian ? 24 - 8 * k : 8 * k));
        return;
      }
    }
  }
  void send(const std::u32string& scalars) {
    for (char32_t scalar : scalars) send(scalar);
  }

  void writeFields(const std::vector<std::string>& fields) {
    if (expectedFields_ > 0 && fieldIndex_ + static_cast<std::int64_t>(fields.size()) > expectedFields_)
      throw Failure{
          "A field cannot be added to a row that has already the expected amount of fields. All CSV rows must have "
          "the same amount of fields. " +
          std::to_string(expectedFields_)};
    for (const std::string& field : fields) {
      if (fieldIndex_ > 0) send(field_);
      if (fieldIndex_ == 0) firstEmpty_ = field.empty();
      const std::u32string text = platform::toScalars(field);
      std::u32string escaped;
      bool marked = false;
      for (std::size_t i = 0; i < text.size();) {
        if (escaping_ && text[i] == *escaping_) {
          escaped += *escaping_;
          escaped += *escaping_;
          marked = true;
          ++i;
          continue;
        }
        bool matched = false;
        for (const std::u32string& delimiter : delimiters_) {
          if (text.compare(i, delimiter.size(), delimiter) != 0) continue;
          if (!escaping_)
            throw Failure{"A field cannot include a delimiter if escaping strategy is disabled. " + field};
          escaped += delimiter;
          i += delimiter.size();
          marked = matched = true;
          break;
        }
        if (!matched) escaped += text[i++];
      }
      // A field that ends with the start of a delimiter would read as if the delimiter began in it.
      for (const std::u32string& delimiter : delimiters_) {
        for (std::size_t length = 1; length < delimiter.size() && !marked; ++length) {
          if (!text.ends_with(delimiter.substr(0, length))) continue;
          if (!escaping_)
            throw Failure{"A field cannot include a delimiter if escaping strategy is disabled. " + field};
          marked = true;
        }
      }
      if (marked) escaped = *escaping_ + escaped + *escaping_;
      send(escaped);
      ++fieldIndex_;
    }
  }

  void emptyRow() {
    if (expectedFields_ == 0)
      throw Failure{"An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown."};
    for (std::int64_t i = 1; i < expectedFields_; ++i) send(field_);
    if (expectedFields_ == 1) sendEmptyField();
    send(row_);
    ++rowIndex_;
    fieldIndex_ = 0;
  }

  void endRow() {
    if (fieldIndex_ == 0) return emptyRow();
    if (expectedFields_ == 0) expectedFields_ = fieldIndex_;
    for (; fieldIndex_ < expectedFields_; ++fieldIndex_) send(field_);
    if (expectedFields_ == 1 && firstEmpty_) sendEmptyField();
    send(row_);
    ++rowIndex_;
    fieldIndex_ = 0;
  }

  /// A row of one empty field is written escaped, as an empty line would be passed over.
  void sendEmptyField() {
    if (!escaping_) return;
    send(*escaping_);
    send(*escaping_);
  }

  static std::string hex(char32_t scalar) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(scalar));
    return text;
  }

  std::u32string field_;
  std::u32string row_;
  std::vector<std::u32string> delimiters_;
  std::optional<char32_t> escaping_;
  Encoding encoding_;
  bool firstEmpty_ = false;
  std::string bytes_;
  std::int64_t rowIndex_ = 0, fieldIndex_ = 0, expectedFields_ = 0;
};

/// The failure reason followed by what its user information names, as the reference writes it.
std::string describe(const CSVWriterError& error) {
  std::string text = error.failureReason().value_or("");
  const platform::UserInfo& info = error.userInfo();
  if (auto scalar = info.get<char32_t>("Unicode scalar")) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(*scalar));
    text += std::string(" ") + hex;
  }
  if (auto field = info.get<std::string>("Field")) text += " " + *field;
  if (auto count = info.get<std::int64_t>("Number of expected fields per row")) text += " " + std::to_string(*count);
  return text;
}

platform::TextEncoding textEncoding(Encoding encoding) {
  switch (encoding) {
    case Encoding::utf8: return platform::TextEncoding::utf8();
    case Encoding::ascii: return platform::TextEncoding::ascii();
    case Encoding::utf16: return platform::TextEncoding::utf16();
    case Encoding::utf16BigEndian: return platform::TextEncoding::utf16BigEndian();
    case Encoding::utf16LittleEndian: return platform::TextEncoding::utf16LittleEndian();
    case Encoding::utf32: return platform::TextEncoding::utf32();
    case Encoding::utf32BigEndian: return platform::TextEncoding::utf32BigEndian();
    case Encoding::utf32LittleEndian: return platform::TextEncoding::utf32LittleEndian();
    case Encoding::shiftJIS: return *platform::TextEncoding::named("shift_jis");
  }
  return platform::TextEncoding::utf8();
}

/// Takes whole writes until they would pass `limit` bytes, then fails, as a buffered file does
/// when a flush fails. Offers room of its own, or room too small for what is asked, or none.
class LimitedStream final : public platform::OutputStream {
 public:
  enum class Room { none, enough, tooLittle };
  LimitedStream(Room room, std::size_t limit) : room_(room), limit_(limit) {}
  std::string description() const override { return "limited stream"; }
  std::optional<platform::Data> dataWrittenToMemory() const override { return platform::Data::fromString(taken_); }

 protected:
  std::exception_ptr openResources() override { return nullptr; }
  std::exception_ptr closeResources() override { return nullptr; }
  std::ptrdiff_t writeBytes(const std::uint8_t* bytes, std::size_t length) override { return take(bytes, length); }
  std::span<std::uint8_t> reserveBytes(std::size_t length) override {
    if (room_ == Room::none) return {};
    reserved_.assign(room_ == Room::enough ? length : length / 2, 0xEE);
    return reserved_;
  }
  std::ptrdiff_t commitBytes(std::size_t length) override { return take(reserved_.data(), length); }

 private:
  std::ptrdiff_t take(const std::uint8_t* bytes, std::size_t length) {
    if (taken_.size() + length > limit_) {
      fail(std::make_exception_ptr(platform::Error("Limited", 1, "full")));
      return -1;
    }
    taken_.append(reinterpret_cast<const char*>(bytes), length);
    return static_cast<std::ptrdiff_t>(length);
  }

  Room room_;
  std::size_t limit_;
  std::vector<std::uint8_t> reserved_;
  std::string taken_;
};

Result writeWithWriter(const Dialect& dialect, const std::vector<Step>& steps,
                       std::shared_ptr<platform::OutputStream> stream = platform::OutputStream::toMemory()) {
  CSVWriter::Configuration configuration;
  configuration.encoding = textEncoding(dialect.encoding);
  configuration.bomStrategy = Strategy::BOM::never;
  configuration.delimiters.field = Delimiter::Field(dialect.field);
  configuration.delimiters.row = dialect.rows;
  configuration.escapingStrategy =
      dialect.escaping ? Strategy::Escaping::scalar(*dialect.escaping) : Strategy::Escaping::none();
  configuration.headers = dialect.headers;
  Result result;
  std::optional<CSVWriter> writer;
  try {
    writer.emplace(stream, configuration);
  } catch (const CSVWriterError& error) {
    result.errors.push_back(describe(error));
    return result;
  }
  for (const Step& step : steps) {
    try {
      switch (step.call) {
        case Call::writeField: writer->writeField(step.fields.front()); break;
        case Call::writeFields: writer->writeFields(step.fields); break;
        case Call::writeRow: writer->writeRow(step.fields); break;
        case Call::endRow: writer->endRow(); break;
        case Call::writeEmptyRow: writer->writeEmptyRow(); break;
      }
    } catch (const CSVWriterError& error) {
      result.errors.push_back(describe(error));
    }
  }
  try {
    writer->endEncoding();
  } catch (const CSVWriterError& error) {
    result.errors.push_back(describe(error));
  }
  result.bytes = std::string(stream->dataWrittenToMemory()->view());
  result.rowIndex = writer->rowIndex();
  result.fieldIndex = writer->fieldIndex();
  result.expectedFields = writer->expectedFields();
  return result;
}

template <typename T>
const T& pick(std::mt19937& random, const std::vector<T>& choices) {
  return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
}

std::size_t below(std::mt19937& random, std::size_t bound) {
  return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
}

std::string randomField(std::mt19937& random) {
  static const std::vector<std::string> pieces = {
      "a",   "Z",      "0",      " ",          "abcdefghijklmnopqrstu", "IMG_0000001.jpg", "\u00E9", "\u20AC",
      "\U0001F600", "\u3042", "\u00B6", "\u2192", "\"", "'", "\r", "\n", "\r\n", ",", ";", ":", "::", "\t", "|",
      "\xFF", "\xC3", "\xE2\x82", "\x80", "\xED\xA0\x80"};
  // Mostly plain runs, so that every length class of the fast path is met with and without a stop.
  std::string text;
  const std::size_t count = below(random, 4) == 0 ? below(random, 12) : below(random, 3);
  for (std::size_t i = 0; i < count; ++i) text += below(random, 3) == 0 ? pick(random, pieces) : pieces[below(random, 6)];
  if (below(random, 4) == 0) text = text.substr(0, below(random, text.size() + 1));
  return text;
}

std::vector<std::string> randomFields(std::mt19937& random, std::size_t count) {
  std::vector<std::string> fields(count);
  for (std::string& field : fields) field = randomField(random);
  return fields;
}

struct Trial {
  Dialect dialect;
  std::vector<Step> steps;
};

Trial randomTrial(std::mt19937& random) {
  struct RowChoice {
    Delimiter::Row rows;
    std::u32string written;
  };
  static const std::vector<std::string> fieldDelimiters = {",", ";", "\t", "|", "::", "||", "\u2192", ":\u2192"};
  static const std::vector<RowChoice> rowDelimiters = {
      {Delimiter::Row("\n"), U"\n"},
      {Delimiter::Row("\r\n"), U"\r\n"},
      {Delimiter::Row("\r"), U"\r"},
      {Delimiter::Row("\u00B6"), U"\u00B6"},
      {Delimiter::Row::standard(), U"\n"},
      {*Delimiter::Row::fromTexts({"\r\n", "\r"}), U"\r"},
      {*Delimiter::Row::fromTexts({"\n", "\r"}), U"\n"},
      {*Delimiter::Row::fromTexts({"\n", "\r", "\r\n"}), U"\n"},
      {*Delimiter::Row::fromTexts({"\r\n", "\u00B6"}), U"\u00B6"},
      {*Delimiter::Row::fromTexts({"\r\n", "|\n"}), U"\r\n"}};
  static const std::vector<std::optional<char32_t>> escapings = {U'"', U'"', U'\'', std::nullopt};
  static const std::vector<Encoding> encodings = {
      Encoding::utf8,          Encoding::utf8,           Encoding::utf8,  Encoding::ascii,
      Encoding::utf16,         Encoding::utf16BigEndian, Encoding::utf16LittleEndian,
      Encoding::utf32,         Encoding::utf32BigEndian, Encoding::utf32LittleEndian, Encoding::shiftJIS};
  Trial trial;
  Dialect& dialect = trial.dialect;
  dialect.field = pick(random, fieldDelimiters);
  const RowChoice& row = pick(random, rowDelimiters);
  dialect.rows = row.rows;
  dialect.row = row.written;
  dialect.escaping = pick(random, escapings);
  dialect.encoding = pick(random, encodings);
  const std::size_t width = 1 + below(random, 5);
  if (below(random, 4) == 0) dialect.headers = randomFields(random, width);
  trial.steps.resize(1 + below(random, 10));
  for (Step& step : trial.steps) {
    const std::size_t kind = below(random, 10);
    step.call = kind < 4   ? Call::writeRow
                : kind < 7 ? Call::writeField
                : kind < 8 ? Call::writeFields
                : kind < 9 ? Call::endRow
                           : Call::writeEmptyRow;
    const std::size_t count = step.call == Call::writeField ? 1 : below(random, 8) == 0 ? width + 1 : width;
    step.fields = randomFields(random, count);
  }
  return trial;
}

std::string show(const Result& result) {
  return "[" + result.bytes + "] " + (result.errors.empty() ? "" : result.errors.front()) + " " +
         std::to_string(result.rowIndex) + "/" + std::to_string(result.fieldIndex) + "/" +
         std::to_string(result.expectedFields);
}

TEST(CSVWriterDifferential, EveryDialectAndEncodingWritesWhatTheScalarRulesWrite) {
  std::mt19937 random(20261207);
  for (int trial = 0; trial < 4000; ++trial) {
    const Trial t = randomTrial(random);
    const Dialect& dialect = t.dialect;
    const std::vector<Step>& steps = t.steps;
    const Result expected = ReferenceWriter(dialect).run(dialect.headers, steps);
    // The memory stream offers room for rows to be formatted in; a plain stream does not.
    const Result actual = writeWithWriter(dialect, steps);
    ASSERT_EQ(actual, expected) << "trial " << trial << ": " << show(actual) << " instead of " << show(expected);
    if (trial % 4 != 0) continue;
    const Result plain = writeWithWriter(
        dialect, steps,
        std::make_shared<LimitedStream>(LimitedStream::Room::none, std::numeric_limits<std::size_t>::max()));
    ASSERT_EQ(plain, expected) << "trial " << trial << ": " << show(plain) << " instead of " << show(expected);
  }
}

TEST(CSVWriterDifferential, RowsFormattedInTheStreamsRoomFailWhereWritesFail) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 3000; ++trial) {
    const Trial t = randomTrial(random);
    const Result whole = writeWithWriter(t.dialect, t.steps);
    // The stream fails at any point of the output, or never.
    const std::size_t limit =
        below(random, 5) == 0 ? std::numeric_limits<std::size_t>::max() : below(random, whole.bytes.size() + 2);
    auto run = [&](LimitedStream::Room room) {
      return writeWithWriter(t.dialect, t.steps, std::make_shared<LimitedStream>(room, limit));
    };
    const Result expected = run(LimitedStream::Room::none);
    for (LimitedStream::Room room : {LimitedStream::Room::enough, LimitedStream::Room::tooLittle}) {
      const Result actual = run(room);
      ASSERT_EQ(actual, expected) << "trial " << trial << " with room " << static_cast<int>(room) << ", limit "
                                  << limit << ": " << show(actual) << " instead of " << show(expected);
    }
  }
}

TEST(CSVWriterDifferential, FieldsEndingAtAPageEndAreReadNoFurther) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* const pages = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  char* const end = static_cast<char*>(pages) + page;
  ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
  Dialect dialect{",", Delimiter::Row("\r\n"), U"\r\n", U'"', Encoding::utf8, {}};
  for (const std::string& text : {std::string("abcdefghijklmnopqrstuvwxyz"), std::string("a,b\"c\r\nd,e\"f\rg\nh,i\"jklmno"),
                                  std::string("\u00E9t\u00E9 \u00E0 l\u2019\u00EEle \u00E9t\u00E9")}) {
    for (std::size_t length = 0; length <= 20; ++length) {
      const std::string piece = text.substr(text.size() - length);
      std::memcpy(end - piece.size(), piece.data(), piece.size());
      const std::string_view field(end - piece.size(), piece.size());
      const auto stream = platform::OutputStream::toMemory();
      CSVWriter::Configuration configuration;
      configuration.delimiters.row = dialect.rows;
      CSVWriter writer(stream, configuration);
      writer.writeRow(std::vector<std::string_view>{field, field});
      writer.writeField(field);
      writer.endEncoding();
      const Result expected = ReferenceWriter(dialect).run({}, {{Call::writeRow, {piece, piece}}, {Call::writeField, {piece}}});
      EXPECT_EQ(std::string(stream->dataWrittenToMemory()->view()), expected.bytes) << length << " bytes of " << text;
    }
  }
  munmap(pages, 2 * page);
}

}  // namespace
}  // namespace RecordCSV
