#pragma once
// What the command tells on standard error while it goes on: tokens that stand for
// nothing, and records that make no folder of their own.

#include <map>
#include <ostream>
#include <string>

#include "CommandOptions.hpp"
#include "Pelmora_Zava/AsyncImporter.hpp"

namespace Pelmora_Zava::cli {

/// One line for each token of --folder or --subfolder that is no column header, built-in
/// token or --token name, naming the one that differs from it only in case or spaces.
void warnOfUnknownTokens(std::ostream& out, const AsyncImporter& importer, const Options& options,
                         const std::map<std::string, std::string>& custom);

/// How many records were skipped for an empty folder name and how many dropped because an
/// earlier record has their folder name; one line each, when there are any.
void reportLeftOutRecords(std::ostream& out, const AsyncImporter& importer);

}  // namespace Pelmora_Zava::cli
