#pragma once
// The last successful decode, so that an unchanged datasource under unchanged
// settings is not decoded again.

#include <cstdint>

#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava {

struct AsyncImporter::DecodeCache {
  std::uint64_t dataVersion;
  Ravelin::CSVImportConfig config;
  FileView view;
};

}  // namespace Pelmora_Zava
