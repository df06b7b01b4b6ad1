// Why and where the reader fails, as data: random rows in the dialects of the differential
// tests, each input with one fault planted at a known row, read from a blob, a stream and
// bytes handed out in small blocks, with every scan kernel.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "platform/core/Unicode.hpp"
#include "platform/io/InputStream.hpp"
#include "reader/ReaderDialects.hpp"
#include "reader/ReaderTestSupport.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {

void PrintTo(const CSVReader::Fault& fault, std::ostream* out) {
  const auto place = [](const std::optional<std::uint64_t>& at) { return at ? std::to_string(*at) : "none"; };
  *out << "{reason " << static_cast<int>(fault.reason) << ", row start " << place(fault.rowStart) << ", wrong byte "
       << place(fault.wrongByte) << "}";
}

namespace {

using Reason = CSVReader::Reason;

enum class Plant {
  nothing,
  strayQualifier,
  unclosedQualifier,
  textAfterQualifiedField,
  carriageReturnAfterQualifiedField,
  fieldCount,
  emptyHeaderLine,
  duplicateHeaders,
  wrongByte,
};

struct Row {
  std::vector<std::string> fields;  // as written, escaped ones with their escaping scalars
  std::string end;                  // the row delimiter
};

struct Input {
  std::string text;  // UTF-8, as the reader decodes it
  std::string bytes;  // as the reader is given them
  std::size_t markLength = 0;
  std::uint64_t rowStart = 0;
  std::optional<std::uint64_t> wrongByte;
  Reason reason = Reason::none;
  std::int64_t rows = 0;  // that the reader cuts when nothing is planted
};

class Planter {
 public:
  Planter(std::mt19937& random, const CSVReader::Configuration& configuration)
      : random_(random), configuration_(configuration) {
    field_ = platform::toUTF8(configuration.delimiters.field.scalars);
    std::u32string special = configuration.delimiters.field.scalars;
    std::vector<std::u32string> members(configuration.delimiters.row.scalars.begin(),
                                        configuration.delimiters.row.scalars.end());
    for (const std::u32string& member : members) {
      special += member;
      // A member that a shorter one begins is never matched whole.
      const bool shadowed = std::any_of(members.begin(), members.end(), [&](const std::u32string& other) {
        return other.size() < member.size() && member.starts_with(other);
      });
      if (!shadowed) ends_.push_back(platform::toUTF8(member));
      loneCarriageReturnEndsRows_ |= member == U"\r";
    }
    if (configuration.escapingStrategy.scalar()) {
      escape_ = platform::toUTF8(std::u32string(1, *configuration.escapingStrategy.scalar()));
      special += *configuration.escapingStrategy.scalar();
    }
    for (const std::string_view piece : {"a", "b", "xyz", "IMG_0001.jpg", "Ms. Green", "0123", "\u00E9", "\u00E8",
                                     "\U0001F600", " ", "\t", "\u00A0", ";", ":", "<", ">", "br", "'", "\""}) {
      const std::u32string scalars = platform::toScalars(piece);
      const bool plain = std::none_of(scalars.begin(), scalars.end(), [&](char32_t c) {
        return special.find(c) != std::u32string::npos || configuration.trimStrategy.contains(c);
      });
      if (plain) pieces_.emplace_back(piece);
    }
  }

  /// Whether rows of this dialect can be written so that the reader cuts them where they were written.
  bool usable() const {
    for (const std::u32string& member : configuration_.delimiters.row.scalars)
      if (member.starts_with(configuration_.delimiters.field.scalars) ||
          configuration_.delimiters.field.scalars.starts_with(member))
        return false;
    if (const std::optional<char32_t> escape = configuration_.escapingStrategy.scalar()) {
      // An escaping scalar that is also a delimiter's opens a field where the delimiter was meant.
      if (configuration_.delimiters.field.scalars.find(*escape) != std::u32string::npos) return false;
      for (const std::u32string& member : configuration_.delimiters.row.scalars)
        if (member.find(*escape) != std::u32string::npos) return false;
    }
    return !pieces_.empty() && !ends_.empty();
  }

  Input plant(Plant plant, bool asUTF16, bool withMark) {
    const Strategy::Header& header = configuration_.headerStrategy;
    const bool hasHeader = header.kind() != Strategy::Header::Kind::none;
    const std::int64_t skipped = header.kind() == Strategy::Header::Kind::lineNumber ? header.line() : 0;
    const int width = number(1, 4);
    std::vector<Row> rows;
    for (std::int64_t i = 0; i < skipped; ++i) rows.push_back(number(0, 3) == 0 ? emptyLine() : row(number(1, 4)));
    std::optional<std::size_t> headerRow;
    if (hasHeader) {
      headerRow = rows.size();
      Row names{{}, pick(ends_)};
      for (int i = 0; i < width; ++i) names.fields.push_back("h" + std::to_string(i));
      rows.push_back(names);
    }
    std::vector<std::size_t> dataRows;
    const int count = number(2, 8);  // a width to differ from needs a row before
    for (int i = 0; i < count; ++i) {
      if (number(0, 4) == 0) rows.push_back(emptyLine());
      dataRows.push_back(rows.size());
      rows.push_back(row(width));
    }

    // Where the fault goes: a data row, or for the header's faults the header row.
    std::size_t target = pick(dataRows);
    switch (plant) {
      case Plant::nothing:
      case Plant::wrongByte: break;
      case Plant::strayQualifier:
        unescapeAll(rows[target]);
        pickField(rows[target]) = pick(pieces_) + escape_ + pick(pieces_);
        break;
      case Plant::unclosedQualifier: {
        Row& faulty = rows[target];
        const std::size_t at = index(faulty.fields.size());
        faulty.fields.resize(at + 1);
        faulty.fields[at] = escape_ + pick(pieces_);
        faulty.end.clear();
        rows.resize(target + 1);
        break;
      }
      case Plant::textAfterQualifiedField:
        pickField(rows[target]) = escape_ + pick(pieces_) + escape_ + "z" + pick(pieces_);
        break;
      case Plant::carriageReturnAfterQualifiedField:
        pickField(rows[target]) = escape_ + pick(pieces_) + escape_ + "\rz";
        break;
      case Plant::fieldCount:
        // The first data row sets the width when there is no header.
        if (!hasHeader) target = dataRows[std::max<std::size_t>(1, index(dataRows.size()))];
        rows[target].fields.push_back("z");
        break;
      case Plant::emptyHeaderLine:
        target = *headerRow;
        rows[target] = emptyLine();
        break;
      case Plant::duplicateHeaders:
        target = *headerRow;
        // The lookup is built before any row is read, so the header's width does not matter.
        rows[target].fields.push_back(rows[target].fields.front());
        break;
    }

    Input input;
    std::size_t wrongAt = 0;  // in `text`
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (i == target) input.rowStart = input.text.size();
      if (i == target && plant == Plant::wrongByte) {
        // Inside a field, escaped or not.
        Row& faulty = rows[i];
        std::string& field = pickField(faulty);
        std::size_t before = 0;
        for (std::size_t f = 0; &faulty.fields[f] != &field; ++f) before += faulty.fields[f].size() + field_.size();
        const std::u32string scalars = platform::toScalars(field);
        const std::size_t split = index(scalars.size() + 1);
        wrongAt = input.text.size() + before + platform::toUTF8(scalars.substr(0, split)).size();
      }
      for (std::size_t f = 0; f < rows[i].fields.size(); ++f) input.text += (f ? field_ : "") + rows[i].fields[f];
      input.text += rows[i].end;
    }
    input.rows = static_cast<std::int64_t>(rows.size());

    const std::string_view text = input.text;
    if (asUTF16) {
      input.markLength = withMark ? 2 : 0;
      input.bytes = (withMark ? "\xFE\xFF" : "") + testing::utf16BigEndian(text.substr(0, wrongAt));
      if (plant == Plant::wrongByte) {
        input.wrongByte = input.bytes.size();
        input.bytes += std::string("\xDC\x00", 2);  // a low surrogate alone
      }
      input.bytes += testing::utf16BigEndian(text.substr(wrongAt));
    } else {
      input.markLength = withMark ? 3 : 0;
      input.bytes = (withMark ? "\xEF\xBB\xBF" : "") + std::string(text.substr(0, wrongAt));
      if (plant == Plant::wrongByte) {
        input.wrongByte = input.bytes.size();
        input.bytes += "\xFF";
      }
      input.bytes += text.substr(wrongAt);
    }
    if (plant == Plant::wrongByte) input.text.resize(wrongAt);

    switch (plant) {
      case Plant::nothing: input.reason = Reason::none; break;
      case Plant::strayQualifier: input.reason = Reason::strayQualifier; break;
      case Plant::unclosedQualifier: input.reason = Reason::unclosedQualifier; break;
      case Plant::textAfterQualifiedField: input.reason = Reason::textAfterQualifiedField; break;
      case Plant::carriageReturnAfterQualifiedField: input.reason = Reason::carriageReturnAfterQualifiedField; break;
      case Plant::fieldCount: input.reason = Reason::fieldCount; break;
      case Plant::emptyHeaderLine: input.reason = Reason::emptyHeaderLine; break;
      case Plant::duplicateHeaders: input.reason = Reason::duplicateHeaders; break;
      case Plant::wrongByte: input.reason = asUTF16 ? Reason::invalidUTF16 : Reason::invalidUTF8; break;
    }
    return input;
  }

  /// Whether `plant` can be planted in this dialect.
  bool allows(Plant plant) const {
    const bool hasHeader = configuration_.headerStrategy.kind() != Strategy::Header::Kind::none;
    switch (plant) {
      case Plant::strayQualifier:
      case Plant::unclosedQualifier:
      case Plant::textAfterQualifiedField: return !escape_.empty();
      case Plant::carriageReturnAfterQualifiedField:
        return !escape_.empty() && !loneCarriageReturnEndsRows_ && !configuration_.trimStrategy.contains(U'\r');
      case Plant::emptyHeaderLine:
      case Plant::duplicateHeaders: return hasHeader;
      default: return true;
    }
  }

 private:
  int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::size_t index(std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random_); }
  template <typename T>
  const T& pick(const std::vector<T>& values) {
    return values[index(values.size())];
  }
  std::string& pickField(Row& row) { return row.fields[index(row.fields.size())]; }

  Row emptyLine() { return {{""}, pick(ends_)}; }
  Row row(int width) {
    Row made{{}, pick(ends_)};
    for (int i = 0; i < width; ++i) {
      std::string text;
      const int length = number(width == 1 ? 1 : 0, 3);
      for (int j = 0; j < length; ++j) text += pick(pieces_);
      if (!escape_.empty() && number(0, 2) == 0) {
        // Inside escaping scalars anything goes, the escaping scalar doubled.
        std::string escaped = escape_;
        for (int j = number(0, 3); j > 0; --j) {
          const std::string piece = number(0, 3) == 0 ? escape_ + escape_ : number(0, 1) ? field_ : pick(ends_);
          escaped += piece + pick(pieces_);
        }
        text = escaped + escape_;
      }
      made.fields.push_back(text);
    }
    return made;
  }
  void unescapeAll(Row& row) {
    for (std::string& field : row.fields)
      if (!escape_.empty() && field.starts_with(escape_)) field = pick(pieces_);
  }

  std::mt19937& random_;
  const CSVReader::Configuration& configuration_;
  std::string field_;
  std::string escape_;
  std::vector<std::string> ends_;  // row delimiters that end a row where they are written
  std::vector<std::string> pieces_;  // text that is no delimiter, escaping or trim scalar
  bool loneCarriageReturnEndsRows_ = false;
};

/// Reads every record, which builds the header lookup first; the failure's fault, if any.
std::optional<CSVReader::Fault> readRecords(const std::function<CSVReader()>& make, std::int64_t* rowsCut = nullptr) {
  try {
    CSVReader reader = make();
    while (reader.readRecord()) {
    }
    if (rowsCut) *rowsCut = reader.rowsCut();
  } catch (const CSVReaderError& error) {
    return error.fault();
  }
  return std::nullopt;
}

TEST(ReaderFault, SaysWhyAndWhereTheRowItFailedOnBegins) {
  using namespace testing::dialects;
  const Plant plants[] = {Plant::strayQualifier,
                          Plant::unclosedQualifier,
                          Plant::textAfterQualifiedField,
                          Plant::carriageReturnAfterQualifiedField,
                          Plant::fieldCount,
                          Plant::emptyHeaderLine,
                          Plant::duplicateHeaders,
                          Plant::wrongByte};
  std::mt19937 random(20261209);
  auto pickOf = [&](const auto& values) {
    return values[std::uniform_int_distribution<std::size_t>(0, std::size(values) - 1)(random)];
  };
  std::map<Reason, int> planted;
  for (int round = 0; round < 3000; ++round) {
    CSVReader::Configuration configuration = randomConfiguration(random);
    try {
      const CSVReader::Settings settings(configuration);
    } catch (const CSVReaderError& error) {
      EXPECT_EQ(error.fault(), (CSVReader::Fault{Reason::configuration, {}, {}}));
      continue;
    }
    Planter planter(random, configuration);
    if (!planter.usable()) continue;
    const Plant plant = pickOf(plants);
    if (!planter.allows(plant)) continue;
    const bool asUTF16 = round % 4 == 0;
    const bool withMark = round % 3 == 0;
    if (withMark) {
      configuration.encoding.reset();
    } else {
      configuration.encoding = asUTF16 ? platform::TextEncoding::utf16BigEndian() : platform::TextEncoding::utf8();
    }

    // The same rows without the fault read to their end, every row cut counted.
    std::mt19937 replay = random;
    Planter cleanPlanter(replay, configuration);
    const Input clean = cleanPlanter.plant(Plant::nothing, asUTF16, withMark);
    const Input input = planter.plant(plant, asUTF16, withMark);
    SCOPED_TRACE(::testing::Message() << "round " << round << " input " << ::testing::PrintToString(input.bytes));
    std::int64_t rowsCut = -1;
    const std::shared_ptr<const platform::Data> cleanBytes =
        std::make_shared<const platform::Data>(platform::Data::fromString(clean.bytes));
    EXPECT_EQ(readRecords([&] { return CSVReader::initWithData(*cleanBytes, configuration); }, &rowsCut),
              std::nullopt);
    EXPECT_EQ(rowsCut, clean.rows);

    CSVReader::Fault expected{input.reason, {}, input.wrongByte};
    if (!expected.isDecoding()) expected.rowStart = input.rowStart;
    ++planted[input.reason];
    const platform::Data data = platform::Data::fromString(input.bytes);
    std::string storage;
    EXPECT_EQ(CSVReader::decodedText(data, configuration, storage), input.text);
    const platform::TextEncoding encoding =
        asUTF16 ? platform::TextEncoding::utf16BigEndian() : platform::TextEncoding::utf8();
    const auto blockSize = static_cast<std::size_t>(round % 7 + 1);
    for (const scan::Kernel kernel : scan::availableKernels()) {
      scan::pinKernel(kernel);
      SCOPED_TRACE(::testing::Message() << "kernel " << static_cast<int>(kernel));
      std::optional<CSVReader::Fault> whole;
      try {
        (void)CSVReader::decode(std::make_shared<const platform::Data>(data), configuration);
      } catch (const CSVReaderError& error) {
        whole = error.fault();
      }
      EXPECT_EQ(whole, expected) << "whole";
      EXPECT_EQ(readRecords([&] {
                  return CSVReader::initWithInputStream(platform::InputStream::withData(data), configuration);
                }),
                expected)
          << "stream";
      EXPECT_EQ(readRecords([&] {
                  auto bytes = std::make_unique<testing::ChoppedBytes>(input.bytes.substr(input.markLength), blockSize,
                                                                       false);
                  return CSVReader(configuration, CSVReader::makeDecoder(std::move(bytes), encoding, input.markLength));
                }),
                expected)
          << "blocks";
      scan::pinKernel(std::nullopt);
    }
    if (::testing::Test::HasFailure()) break;
  }
  // Every kind was planted often enough to mean something.
  for (const Reason reason : {Reason::strayQualifier, Reason::unclosedQualifier, Reason::textAfterQualifiedField,
                              Reason::carriageReturnAfterQualifiedField, Reason::fieldCount, Reason::emptyHeaderLine,
                              Reason::duplicateHeaders, Reason::invalidUTF8, Reason::invalidUTF16})
    EXPECT_GT(planted[reason], 20) << static_cast<int>(reason);
}

TEST(ReaderFault, FailuresNotAboutTheTextSayNoPlace) {
  const auto faultOf = [](const std::function<void()>& read) -> std::optional<CSVReader::Fault> {
    try {
      read();
    } catch (const CSVReaderError& error) {
      return error.fault();
    }
    return std::nullopt;
  };
  const CSVReader::Fault configuration{Reason::configuration, {}, {}};
  EXPECT_EQ(faultOf([] { (void)CSVReader::decode("a", [](auto& c) { c.delimiters.field = Delimiter::Field(); }); }),
            configuration);
  EXPECT_EQ(faultOf([] {
              (void)CSVReader::decode(platform::Data::fromString("\xEF\xBB\xBF" "a"),
                                      [](auto& c) { c.encoding = platform::TextEncoding::utf16LittleEndian(); });
            }),
            (CSVReader::Fault{Reason::markConflict, {}, {}}));
  EXPECT_EQ(faultOf([] {
              (void)CSVReader::decode(std::filesystem::path("/nonexistent/file.csv"), CSVReader::Configuration());
            }),
            (CSVReader::Fault{Reason::unreadableInput, {}, {}}));
  // A blob converted whole: where the bytes stop being the encoding, after the mark.
  EXPECT_EQ(faultOf([] {
              (void)CSVReader::decode(platform::Data::fromString(std::string("\xFF\xFE" "a\0b\0\x00\xDC", 8)),
                                      [](auto& c) {
                                        c.encoding = platform::TextEncoding::utf16LittleEndian();
                                        c.presample = true;
                                      });
            }),
            (CSVReader::Fault{Reason::encodingMismatch, {}, 6}));
}

}  // namespace
}  // namespace RecordCSV
