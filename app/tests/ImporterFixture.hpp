#pragma once
// An importer on a fixed machine with its log captured, and files in a fresh folder.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "Pelmora_Zava/AsyncImporter.hpp"
#include "TestSupport.hpp"
#include "platform/core/Log.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace Pelmora_Zava::testing {

class ImporterTest : public ::testing::Test {
 protected:
  ImporterTest() : machine_(fixedMachine()) {}

  AsyncImporter& importer() {
    if (!importer_) importer_ = std::make_unique<AsyncImporter>(Ravelin::CSVImportConfig(), Ravelin::CSVExportConfig());
    return *importer_;
  }

  std::filesystem::path write(const std::string& name, const std::string& contents) {
    std::filesystem::path file = folder_.path() / name;
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }

  /// The log lines since the last call.
  std::vector<std::string> takeLog() {
    auto lines = log_.lines();
    log_.clear();
    return lines;
  }

  static std::vector<std::string> processedNames(const AsyncImporter::FilenameList& names) {
    std::vector<std::string> texts;
    for (const auto& name : names) texts.push_back(name->processedName());
    return texts;
  }
  static std::vector<std::string> sourceNames(const AsyncImporter::FilenameList& names) {
    std::vector<std::string> texts;
    for (const auto& name : names) texts.push_back(name->filename());
    return texts;
  }

  platform::ScopedSystemInfo machine_;
  platform::CapturedLog log_;
  platform::TemporaryDirectory folder_;
  std::unique_ptr<AsyncImporter> importer_;
};

using Lines = std::vector<std::string>;

/// The lines of one parse and combine with the given header, record and manual counts.
inline Lines parseAndCombine(const std::string& header, std::size_t records, std::size_t manual, std::size_t total) {
  return {"Updating filenames with header " + header, "Did Set Datasource Filenames",
          "Combining " + std::to_string(records) + " datasource and " + std::to_string(manual) + " manual filenames",
          "There are now " + std::to_string(total) + " total filenames"};
}

inline Lines concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace Pelmora_Zava::testing
