// Throughput of writing a roster back out, beside reading the same roster.
// PZ_ROSTER names the file; `bench/gen_roster.py 953000 roster.csv` makes one of about 60 MB.
// Every figure is in bytes of the roster per second.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace {

using RecordCSV::CSVReader;
using RecordCSV::CSVWriter;

const platform::Data* roster() {
  static const std::optional<platform::Data> data = []() -> std::optional<platform::Data> {
    const char* path = std::getenv("PZ_ROSTER");
    if (!path) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    return platform::Data(std::move(bytes));
  }();
  return data ? &*data : nullptr;
}

const CSVReader::FileView& rosterRows() {
  static const CSVReader::FileView view = CSVReader::decode(*roster(), CSVReader::Configuration());
  return view;
}

bool haveRoster(benchmark::State& state) {
  if (roster()) return true;
  state.SkipWithError("set PZ_ROSTER to a roster file");
  return false;
}

void BM_ReadRoster(benchmark::State& state) {
  if (!haveRoster(state)) return;
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(*roster(), CSVReader::Configuration()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

void BM_ReadRosterFileAsStream(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const std::filesystem::path file(std::getenv("PZ_ROSTER"));
  for (auto _ : state) benchmark::DoNotOptimize(CSVReader::decode(file, CSVReader::Configuration()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

// What the writers spend on going through the rows' fields.
void BM_VisitRosterFields(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (const auto& row : rows)
      for (std::string_view field : row) bytes += field.size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

void BM_WriteRosterToMemory(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  for (auto _ : state) benchmark::DoNotOptimize(CSVWriter::serialize(rows));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

void BM_WriteRosterToFile(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "roster.csv";
  for (auto _ : state) CSVWriter::serialize(rows, file, false);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

// A file that is not there yet: replacing one by truncation makes some file systems write the
// old contents out first (ext4 does, to keep a file from ending up empty after a crash).
void BM_WriteRosterToNewFile(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "roster.csv";
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(file);
    state.ResumeTiming();
    CSVWriter::serialize(rows, file, false);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

// The record encoder's way: one call per field, then the row's end.
void BM_WriteRosterFieldByField(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  platform::TemporaryDirectory folder;
  const std::filesystem::path file = folder.path() / "roster.csv";
  for (auto _ : state) {
    CSVWriter writer(file, false);
    for (const auto& row : rows) {
      for (std::string_view field : row) writer.writeField(field);
      writer.endRow();
    }
    writer.endEncoding();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

void BM_WriteRosterUTF16(benchmark::State& state) {
  if (!haveRoster(state)) return;
  const auto& rows = rosterRows();
  CSVWriter::Configuration configuration;
  configuration.encoding = platform::TextEncoding::utf16LittleEndian();
  for (auto _ : state) benchmark::DoNotOptimize(CSVWriter::serialize(rows, configuration));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * roster()->size()));
}

}  // namespace

BENCHMARK(BM_ReadRoster)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRosterFileAsStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisitRosterFields)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRosterToMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRosterToFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRosterToNewFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRosterFieldByField)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRosterUTF16)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
