// A file view keeps plain rows as slices: of text it may share, or of its own copies of text
// that does not stay. Every way must give what the byte engine, which copies every row,
// gives: rows, records, columns and errors, whatever the dialect and how far the reader
// had read before.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "reader/MemorySources.hpp"
#include "reader/ReaderTestSupport.hpp"
#include "RecordCSV/FileView.hpp"
#include "scan/Scan.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV {
namespace {

using testing::Failure;
using testing::failureOf;

struct ViewOutcome {
  std::vector<std::string> headers;
  testing::Rows rows;
  testing::Rows records;  // every field asked for by header name, when there are headers
  std::vector<std::vector<std::string>> columns;
  std::optional<Failure> failure;
  std::int64_t countedRows = -1;
  friend bool operator==(const ViewOutcome&, const ViewOutcome&) = default;
};

/// Reads `skip` rows one by one, then the rest as a file view, and records all it shows.
ViewOutcome viewOf(CSVReader reader, int skip) {
  ViewOutcome outcome;
  outcome.headers = reader.headers();
  try {
    for (int i = 0; i < skip; ++i)
      if (auto row = reader.readRow()) outcome.rows.push_back(*row);
    const CSVReader::FileView view = reader.readFileView();
    for (const CSVReader::Row& row : view) outcome.rows.push_back(row.toVector());
    if (!view.headers().empty()) {
      for (const CSVReader::Record& record : view.records()) {
        std::vector<std::string> fields;
        for (const std::string& header : view.headers()) fields.emplace_back(record[header].value_or("<none>"));
        outcome.records.push_back(std::move(fields));
      }
      for (const std::vector<std::string>& column : view.columns()) outcome.columns.push_back(column);
    }
  } catch (const CSVReaderError& error) {
    outcome.failure = failureOf(error);
  }
  outcome.countedRows = reader.count().rows;
  return outcome;
}

std::string randomField(std::mt19937& random, bool escaping, const std::string& delimiter) {
  static const std::vector<std::string> plain = {"a", "xyz", "IMG_0001.jpg", "Ms. Green", "\u00E9", "\U0001F600",
                                                 " ", "\t", "\u00A0", "\u2003", "0123456789"};
  static const std::vector<std::string> special = {",", ";", "\n", "\r", "\r\n", "\""};
  auto pick = [&](const auto& values) { return values[random() % values.size()]; };
  std::string text;
  const int length = static_cast<int>(random() % 5);
  for (int i = 0; i < length; ++i) text += random() % 12 == 0 ? pick(special) : pick(plain);
  if (!escaping) return text;
  // Plain text stays unescaped unless it needs quotes; some fields are quoted anyway.
  const bool needsQuotes =
      text.find_first_of("\"\r\n") != std::string::npos || text.find(delimiter) != std::string::npos;
  if (!needsQuotes && random() % 4 != 0) return random() % 256 == 0 ? text + "\"" : text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  quoted += '"';
  if (random() % 256 == 0) quoted += "x";  // a character after an escaped field
  return quoted;
}

TEST(FileViewSlices, EveryInputGivesWhatTheByteEngineGives) {
  const std::vector<std::string> fieldDelimiters = {",", ",", ";", "\t", "::"};
  const std::vector<std::vector<std::string>> rowSets = {{"\n"}, {"\r\n"}, {"\n", "\r\n"}, {"\r"},
                                                         {"\n", "\r", "\r\n"}, {"\r", "\r\n"}};
  const std::vector<std::string> rowEnds = {"\n", "\n", "\r\n", "\r", ""};
  const std::span<const scan::Kernel> kernels = scan::availableKernels();
  std::mt19937 random(20261207);
  auto pick = [&](const auto& values) { return values[random() % values.size()]; };
  for (int round = 0; round < 1200; ++round) {
    CSVReader::Configuration configuration;
    const std::string delimiter = pick(fieldDelimiters);
    configuration.delimiters.field = Delimiter::Field(delimiter);
    const std::vector<std::string> rowSet = pick(rowSets);
    configuration.delimiters.row = *Delimiter::Row::fromTexts(rowSet);
    const bool escaping = round % 5 != 0;
    configuration.escapingStrategy = escaping ? Strategy::Escaping::standard() : Strategy::Escaping::none();
    configuration.headerStrategy = round % 3 == 0 ? Strategy::Header::none() : Strategy::Header::firstLine();
    if (round % 4 == 1)
      configuration.trimStrategy =
          round % 8 == 1 ? platform::CharacterSet{U' '} : platform::CharacterSet::whitespaces();
    try {
      const CSVReader::Settings settings(configuration);
    } catch (const CSVReaderError&) {
      configuration.trimStrategy = {};  // a trim set holding a delimiter is refused
    }

    // Rows of one width, up to a little beyond what a slice holds, with a stray width now and then.
    const auto widest = static_cast<int>(RowStore::maximumSliceFields);
    const int width = round % 7 == 0 ? widest + static_cast<int>(random() % 3) - 1 : static_cast<int>(random() % 6) + 1;
    const int rows = static_cast<int>(round % 4 == 3 ? random() % 300 : random() % 30);
    std::string text;
    for (int row = 0; row < rows; ++row) {
      const int fields = random() % 200 == 0 ? width + 1 : width;
      for (int field = 0; field < fields; ++field) {
        if (field > 0) text += delimiter;
        text += randomField(random, escaping, delimiter);
      }
      if (random() % 40 == 0) text += "\n";  // an empty line
      text += random() % 200 == 0 ? std::string(1, '\xFF') + "\n" : random() % 20 == 0 ? pick(rowEnds) : pick(rowSet);
    }
    if (round % 13 == 0) text += std::string(70000, 'z') + "\n";  // a row too long for a slice
    const int skip = static_cast<int>(random() % 3);

    SCOPED_TRACE(::testing::Message() << "round " << round << " skip " << skip << " input "
                                      << ::testing::PrintToString(text));
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    auto outcomeOf = [&](const std::function<CSVReader()>& make) {
      try {
        return viewOf(make(), skip);
      } catch (const CSVReaderError& error) {
        ViewOutcome failed;
        failed.failure = failureOf(error);
        return failed;
      }
    };
    // The byte engine copies every row.
    scan::pinKernel(scan::Kernel::byteEngine);
    const ViewOutcome copied =
        outcomeOf([&] { return CSVReader(configuration, makeCheckedBytesSource(bytes, nullptr, false)); });
    for (const scan::Kernel kernel : kernels) {
      scan::pinKernel(kernel);
      SCOPED_TRACE(::testing::Message() << "kernel " << static_cast<int>(kernel));
      // Slices of a blob the view shares, of copies of bytes it may not keep, of a stream's blocks.
      EXPECT_EQ(outcomeOf([&] { return CSVReader::initWithData(platform::Data::fromString(text), configuration); }),
                copied);
      EXPECT_EQ(outcomeOf([&] { return CSVReader(configuration, makeCheckedBytesSource(bytes, nullptr, false)); }),
                copied);
      EXPECT_EQ(outcomeOf([&] {
                  return CSVReader(configuration,
                                   CSVReader::makeDecoder(std::make_unique<testing::ChoppedBytes>(text, 97, false),
                                                          platform::TextEncoding::utf8()));
                }),
                copied);
      if (platform::isWellFormedUTF8(text)) {
        EXPECT_EQ(outcomeOf([&] { return CSVReader::initWithString(text, configuration); }), copied);
      }
    }
    scan::pinKernel(std::nullopt);
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(FileViewSlices, RowsOutliveTheReaderAndTheCallersData) {
  std::optional<CSVReader::FileView> view;
  std::optional<CSVReader::Record> record;
  {
    std::string text = "id,name\n1,\"Ms. Green, PhD\"\n2,\"say \"\"hi\"\"\"\n3,plain\n";
    CSVReader reader = CSVReader::initWithData(platform::Data::fromString(text),
                                               [](auto& c) { c.headerStrategy = Strategy::Header::firstLine(); });
    view = reader.readFileView();
    record = view->record(0);
    text.assign(text.size(), '#');
  }
  const CSVReader::FileView copy = *view;
  view.reset();
  ASSERT_EQ(copy.size(), 3u);
  EXPECT_EQ(copy[0], (std::vector<std::string>{"1", "Ms. Green, PhD"}));
  EXPECT_EQ(copy[1], (std::vector<std::string>{"2", "say \"hi\""}));
  EXPECT_EQ(copy.field(2, "name"), "plain");
  EXPECT_EQ((*record)["name"], "Ms. Green, PhD");
  EXPECT_EQ(copy.column("id"), (std::vector<std::string>{"1", "2", "3"}));
}

}  // namespace
}  // namespace RecordCSV
