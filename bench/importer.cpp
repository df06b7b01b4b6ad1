// Importing the roster to the finished name list with the default settings, through
// the live importer (from a file and from bytes already read) and through the two queued
// importers (until their final list is assigned on the main queue), and changing one
// export setting on the loaded 100,000-row live importer.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "Pelmora_Zava/LocalCSVImporter.hpp"
#include "Ravelin/CSVImporter.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/FileData.hpp"

namespace {

std::filesystem::path roster(std::int64_t rows) {
  const char* dir = std::getenv("PZ_ROSTER_DIR");
  std::filesystem::path folder = dir ? dir : PZ_DEFAULT_ROSTER_DIR;
  std::filesystem::path file = folder / ("roster-" + std::to_string(rows) + ".csv");
  if (!std::filesystem::exists(file)) {
    std::filesystem::create_directories(folder);
    const std::string command = std::string("python3 '") + PZ_ROSTER_GENERATOR + "' " + std::to_string(rows) + " '" +
                                file.string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cannot make " + file.string());
  }
  return file;
}

void BM_ImportRoster(benchmark::State& state) {
  const auto file = roster(state.range(0));
  platform::setLogSink(nullptr);
  std::size_t names = 0;
  for (auto _ : state) {
    Pelmora_Zava::AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
    importer.importURL(file);
    names = importer.fileNames().size();
    benchmark::DoNotOptimize(names);
  }
  state.counters["names"] = static_cast<double>(names);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportRoster)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Bytes already read, as standard input's are, imported as text: copied with the type's preset
// applied twice (importString), or shared with the preset applied once (importText).
void BM_ImportRosterText(benchmark::State& state) {
  const auto bytes = std::make_shared<const platform::Data>(platform::readFile(roster(state.range(0))));
  const bool shared = state.range(1) != 0;
  const std::string type = "public.comma-separated-values-text";
  platform::setLogSink(nullptr);
  std::size_t names = 0;
  for (auto _ : state) {
    Pelmora_Zava::AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
    if (shared)
      importer.importText(bytes, type);
    else
      importer.importString(bytes->view(), type);
    names = importer.fileNames().size();
    benchmark::DoNotOptimize(names);
  }
  state.counters["names"] = static_cast<double>(names);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ImportRosterText)
    ->ArgNames({"rows", "shared"})
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The import queue and the main queue run until neither has work left: the final list is in.
template <typename Importer>
void settle(Importer& importer) {
  do importer.importQueue().waitUntilIdle();
  while (platform::MainQueue::shared().drain() > 0);
}

template <typename Importer>
void BM_ImportRosterQueued(benchmark::State& state) {
  const auto file = roster(state.range(0));
  platform::setLogSink(nullptr);
  std::size_t names = 0;
  for (auto _ : state) {
    auto importer = Importer::make(Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig());
    importer->importURL(file);
    settle(*importer);
    names = importer->fileNames().get().size();
    benchmark::DoNotOptimize(names);
  }
  state.counters["names"] = static_cast<double>(names);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK_TEMPLATE(BM_ImportRosterQueued, Ravelin::CSVImporter)
    ->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_ImportRosterQueued, Pelmora_Zava::LocalCSVImporter)
    ->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ExportChangeOnLoadedImporter(benchmark::State& state) {
  const auto file = roster(100000);
  platform::setLogSink(nullptr);
  Pelmora_Zava::AsyncImporter importer{Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig()};
  importer.importURL(file);
  bool hyphen = false;
  for (auto _ : state) {
    hyphen = !hyphen;  // every change gives every name a new folder name
    importer.updateExportConfig([&](Ravelin::CSVExportConfig& config) {
      config.replaceIllegalChars = hyphen ? Ravelin::TextReplacement::hyphen : Ravelin::TextReplacement::underscore;
    });
    benchmark::DoNotOptimize(importer.fileNames().data());
  }
}
BENCHMARK(BM_ExportChangeOnLoadedImporter)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
