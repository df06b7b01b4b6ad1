// Sorting 100,000 roster names in natural order and cleaning them with every export setting on.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "QVExtensions/NaturalOrder.hpp"
#include "QVExtensions/StringExtensions.hpp"
#include "Ravelin/CSVExportConfig.hpp"
#include "platform/text/Locale.hpp"
#include "platform/text/Regex.hpp"

namespace {

// Just enough CSV for the roster: quoted fields with doubled quotes and line breaks.
std::vector<std::vector<std::string>> readRecords(const std::string& text) {
  std::vector<std::vector<std::string>> records(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += text[++i];
      else if (c == '"') quoted = false;
      else field += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      records.back().push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      records.back().push_back(std::move(field));
      field.clear();
      records.emplace_back();
    } else {
      field += c;
    }
  }
  if (!field.empty() || !records.back().empty()) records.back().push_back(std::move(field));
  if (records.back().empty()) records.pop_back();
  return records;
}

struct Roster {
  std::vector<std::string> filenames;
  std::vector<std::string> people;  // "Last Name, First Name"
  bool loaded = false;
};

const Roster& roster() {
  static const Roster loaded = [] {
    Roster result;
    const char* path = std::getenv("PZ_ROSTER");
    if (!path) return result;
    std::ifstream file(path, std::ios::binary);
    std::stringstream buffer;
    buffer << file.rdbuf();
    auto records = readRecords(buffer.str());
    if (records.empty()) return result;
    const auto& header = records.front();
    auto column = [&](const std::string& name) {
      return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
    };
    const std::size_t filename = column("Filename"), first = column("First Name"), last = column("Last Name");
    for (std::size_t i = 1; i < records.size(); ++i) {
      const auto& record = records[i];
      if (record.size() <= std::max({filename, first, last})) continue;
      result.filenames.push_back(record[filename]);
      result.people.push_back(record[last] + ", " + record[first]);
    }
    result.loaded = true;
    return result;
  }();
  return loaded;
}

bool ready(benchmark::State& state) {
  if (roster().loaded) return true;
  state.SkipWithError("set PZ_ROSTER to a roster CSV");
  return false;
}

const std::vector<std::string>& names(int which) { return which == 0 ? roster().filenames : roster().people; }

// Sorts a fresh copy of the chosen names (range 0: file names, 1: people) on every iteration.
template <typename Sort>
void sortNames(benchmark::State& state, Sort sort) {
  if (!ready(state)) return;
  platform::Locale::Pin pin{platform::Locale("en_US")};
  const auto& source = names(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<std::string> list = source;
    sort(list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

void BM_NaturalSortByKeys(benchmark::State& state) {
  sortNames(state, [](std::vector<std::string>& list) { QVExtensions::sortByNaturalOrder(list); });
}
BENCHMARK(BM_NaturalSortByKeys)->Arg(0)->Arg(1)->ArgNames({"people"})->Unit(benchmark::kMillisecond);

void BM_NaturalSortByComparison(benchmark::State& state) {
  sortNames(state, [](std::vector<std::string>& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const std::string& a, const std::string& b) { return QVExtensions::naturalOrderLess(a, b); });
  });
}
BENCHMARK(BM_NaturalSortByComparison)->Arg(0)->Arg(1)->ArgNames({"people"})->Unit(benchmark::kMillisecond);

void BM_CleanEverySetting(benchmark::State& state) {
  if (!ready(state)) return;
  platform::Locale::Pin pin{platform::Locale("en_US")};
  const auto& source = names(static_cast<int>(state.range(0)));
  Ravelin::CSVExportConfig config;
  config.replaceWhiteSpace = Ravelin::TextReplacement::underscore;
  config.replaceIllegalChars = Ravelin::TextReplacement::hyphen;
  config.filenameTransformation = static_cast<Ravelin::TextTransformation>(state.range(1));
  config.padDigits = 9;
  config.trimStart = 1;
  config.trimEnd = 1;
  for (auto _ : state) {
    auto cleaned = config.cleanedNames(source);
    benchmark::DoNotOptimize(cleaned.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}
BENCHMARK(BM_CleanEverySetting)
    ->ArgsProduct({{0, 1}, {1, 2, 3}})
    ->ArgNames({"people", "case"})
    ->Unit(benchmark::kMillisecond);

// Token substitution finds "{Name}" tokens in every name's expression.
void BM_TokenFirstMatch(benchmark::State& state) {
  if (!ready(state)) return;
  const platform::Regex token("\\{([\\w\\s]+)\\}");
  std::vector<std::string> expressions;
  for (const std::string& name : roster().people) expressions.push_back(name + " {Filename}");
  for (auto _ : state) {
    std::size_t found = 0;
    for (const std::string& expression : expressions)
      if (const auto match = token.firstMatch(expression)) found += match->string(1, expression)->size();
    benchmark::DoNotOptimize(found);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(expressions.size()));
}
BENCHMARK(BM_TokenFirstMatch)->Unit(benchmark::kMillisecond);

// Camel-case splitting of a run of capitals, which needs the result's last character at every letter.
void BM_SplittingCamelCase(benchmark::State& state) {
  const std::string capitals(static_cast<std::size_t>(state.range(0)), 'A');
  for (auto _ : state) benchmark::DoNotOptimize(QVExtensions::splittingCamelCase(capitals));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SplittingCamelCase)->Range(20'000, 200'000)->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
