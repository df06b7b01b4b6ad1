// Throughput of the CSV reader's parse loop over a roster with quoted fields,
// embedded delimiters and line breaks, and non-ASCII names.

#include <benchmark/benchmark.h>

#include <random>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "platform/core/Unicode.hpp"

namespace {

using RecordCSV::CSVReader;

const std::string& roster() {
  static const std::string text = [] {
    std::mt19937 random(74);
    const char* first[] = {"Anna", "Ben", "Chlo\u00E9", "Dmitri", "\u00C9mile", "Fatima", "Hana", "J\u00FCrgen"};
    const char* last[] = {"Smith", "\"O'Brien, Jr.\"", "M\u00FCller", "Garc\u00EDa", "\"de la \"\"Cruz\"\"\""};
    const char* notes[] = {"", "", "retake", "\"sibling photo, group B\"", "\"line1\nline2\""};
    std::string out = "Student ID,First Name,Last Name,Grade,Teacher,Filename,Notes\n";
    for (int i = 0; i < 120000; ++i) {
      out += std::to_string(100000 + i) + ',' + first[random() % 8] + ',' + last[random() % 5] + ',' +
             std::to_string(random() % 12 + 1) + ",Mr. Brown,IMG_" + std::to_string(i) + ".jpg," +
             notes[random() % 5] + '\n';
    }
    return out;
  }();
  return text;
}

CSVReader::Configuration withHeader() {
  CSVReader::Configuration configuration;
  configuration.headerStrategy = RecordCSV::Strategy::Header::firstLine();
  return configuration;
}

void BM_DecodeUTF8Blob(benchmark::State& state) {
  const platform::Data data = platform::Data::fromString(roster());
  const CSVReader::Configuration configuration = withHeader();
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(data, configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DecodeUTF8Blob)->Unit(benchmark::kMillisecond);

// The blob shared with the view, as a caller that keeps it anyway can let it be.
void BM_DecodeSharedUTF8Blob(benchmark::State& state) {
  const auto data = std::make_shared<const platform::Data>(platform::Data::fromString(roster()));
  const CSVReader::Configuration configuration = withHeader();
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(data, configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data->size()));
}
BENCHMARK(BM_DecodeSharedUTF8Blob)->Unit(benchmark::kMillisecond);

void BM_DecodeText(benchmark::State& state) {
  const CSVReader::Configuration configuration = withHeader();
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(std::string_view(roster()), configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster().size()));
}
BENCHMARK(BM_DecodeText)->Unit(benchmark::kMillisecond);

void BM_DecodeTrimmedCRLF(benchmark::State& state) {
  const platform::Data data = platform::Data::fromString(roster());
  CSVReader::Configuration configuration = withHeader();
  configuration.delimiters.row = RecordCSV::Delimiter::Row::standard();
  configuration.trimStrategy = platform::CharacterSet{U' ', U'\t'};
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(data, configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DecodeTrimmedCRLF)->Unit(benchmark::kMillisecond);

void BM_DecodeUTF16Blob(benchmark::State& state) {
  std::string bytes;
  for (char32_t scalar : platform::toScalars(roster())) {
    if (scalar >= 0x10000) continue;  // the roster has none
    bytes += static_cast<char>(scalar & 0xFF);
    bytes += static_cast<char>(scalar >> 8);
  }
  const platform::Data data = platform::Data::fromString(bytes);
  CSVReader::Configuration configuration = withHeader();
  configuration.encoding = platform::TextEncoding::utf16LittleEndian();
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(data, configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_DecodeUTF16Blob)->Unit(benchmark::kMillisecond);

void BM_ReadRows(benchmark::State& state) {
  for (auto _ : state) {
    CSVReader reader = CSVReader::initWithData(platform::Data::fromString(roster()), withHeader());
    while (auto row = reader.readRow()) benchmark::DoNotOptimize(row);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster().size()));
}
BENCHMARK(BM_ReadRows)->Unit(benchmark::kMillisecond);

void BM_ReadRowsIntoOneTable(benchmark::State& state) {
  for (auto _ : state) {
    CSVReader reader = CSVReader::initWithData(platform::Data::fromString(roster()), withHeader());
    RecordCSV::FieldTable row;
    while (reader.readRow(row)) {
      benchmark::DoNotOptimize(row.field(0).data());
      row.clear();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster().size()));
}
BENCHMARK(BM_ReadRowsIntoOneTable)->Unit(benchmark::kMillisecond);

}  // namespace
