// Random bytes in random dialects, read by the byte engine and by every scan kernel, from
// a data blob and from a stream's small blocks (whose last read may fail), and as a file
// view of a blob: every way must give the same headers, rows and failure. The first
// four bytes choose the dialect and the feeding; the rest is the input.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "reader/ReaderTestSupport.hpp"
#include "scan/Scan.hpp"

namespace {

using RecordCSV::CSVReader;
using RecordCSV::testing::Outcome;

template <typename T>
const T& choose(const std::vector<T>& values, std::uint8_t byte) {
  return values[byte % values.size()];
}

CSVReader::Configuration dialect(const std::uint8_t* choice) {
  // The common dialects come up most often: they are the ones with two engines.
  static const std::vector<std::string> fields = {",", ",", ";", "\t", "|", "\"", "\r", "::", "\u00E9"};
  static const std::vector<std::vector<std::string>> rows = {
      {"\n"}, {"\r"}, {"\r\n"}, {"\n", "\r\n"}, {"\r", "\n"}, {"\n", "\r", "\r\n"}, {"\r", "\r\n"}, {"\n", "<br>"}};
  static const std::vector<std::optional<char32_t>> escapes = {U'"', U'"', std::nullopt, U'\''};
  // White space is what the importer trims by default; the last set shares lead bytes with it.
  static const std::vector<platform::CharacterSet> trims = {
      {}, {}, {}, platform::CharacterSet{U' '}, platform::CharacterSet::whitespaces(),
      platform::CharacterSet{U' ', U'\t'}, {}, platform::CharacterSet{U'x', U'\u00E9', U'\u2010'}};
  static const std::vector<RecordCSV::Strategy::Header> headers = {
      RecordCSV::Strategy::Header::none(), RecordCSV::Strategy::Header::firstLine(),
      RecordCSV::Strategy::Header::lineNumber(1)};
  CSVReader::Configuration configuration;
  configuration.delimiters.field = RecordCSV::Delimiter::Field(choose(fields, choice[0]));
  configuration.delimiters.row = *RecordCSV::Delimiter::Row::fromTexts(choose(rows, choice[1]));
  const std::optional<char32_t> escape = choose(escapes, choice[2]);
  configuration.escapingStrategy =
      escape ? RecordCSV::Strategy::Escaping::scalar(*escape) : RecordCSV::Strategy::Escaping::none();
  configuration.trimStrategy = choose(trims, static_cast<std::uint8_t>(choice[2] >> 2));
  configuration.headerStrategy = choose(headers, choice[3]);
  configuration.encoding = platform::TextEncoding::utf8();
  return configuration;
}

Outcome read(const std::string& bytes, const CSVReader::Configuration& configuration, std::size_t blockSize,
             bool failingEnd) {
  if (blockSize == 0) return RecordCSV::testing::readBytes(bytes, configuration);
  return RecordCSV::testing::readAll([&] {
    return CSVReader(configuration, CSVReader::makeDecoder(std::make_unique<RecordCSV::testing::ChoppedBytes>(
                                                               bytes, blockSize, failingEnd),
                                                           platform::TextEncoding::utf8()));
  });
}

/// The input as a file view, over a blob the view shares or over one it may not keep (whose
/// plain rows it copies row by row; the byte engine copies every row field by field).
Outcome viewOf(const std::string& bytes, const CSVReader::Configuration& configuration, bool shared) {
  Outcome outcome;
  try {
    const platform::Data data = platform::Data::fromString(bytes);
    const CSVReader::FileView view =
        shared ? CSVReader::decode(std::make_shared<const platform::Data>(data), configuration)
               : CSVReader::decode(data, configuration);
    outcome.headers = view.headers();
    for (const CSVReader::Row& row : view) outcome.rows.push_back(row.toVector());
  } catch (const RecordCSV::CSVReaderError& error) {
    outcome.failure = RecordCSV::testing::failureOf(error);
  }
  return outcome;
}

bool same(const Outcome& a, const Outcome& b) {
  return a.failedOnCreation == b.failedOnCreation && a.headers == b.headers && a.rows == b.rows &&
         a.failure == b.failure;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const CSVReader::Configuration configuration = dialect(data);
  const std::string bytes(reinterpret_cast<const char*>(data) + 4, size - 4);
  // A blob, or blocks of 1 to 43 bytes as a stream gives them (the header takes data[3] % 3).
  const std::size_t blockSize = data[3] / 3 % 2 == 0 ? 0 : data[3] / 6 + 1;
  const bool failingEnd = data[2] >= 0x80;  // the stream's last read fails (the dialect takes data[2] % 32)

  RecordCSV::scan::pinKernel(RecordCSV::scan::Kernel::byteEngine);
  const Outcome expected = read(bytes, configuration, blockSize, failingEnd);
  const Outcome expectedView = blockSize == 0 ? viewOf(bytes, configuration, false) : Outcome();
  for (const RecordCSV::scan::Kernel kernel : RecordCSV::scan::availableKernels()) {
    RecordCSV::scan::pinKernel(kernel);
    if (!same(read(bytes, configuration, blockSize, failingEnd), expected)) std::abort();
    if (blockSize == 0 && (!same(viewOf(bytes, configuration, true), expectedView) ||
                           !same(viewOf(bytes, configuration, false), expectedView)))
      std::abort();
  }
  RecordCSV::scan::pinKernel(std::nullopt);
  return 0;
}
