#pragma once
// The records that adding a hand-made name makes, for every importer that keeps such names.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "Pelmora_Zava/Filename.hpp"

namespace Pelmora_Zava {

/// `times` numbered copies of `name` (the number first with `indexMode`), or the name once when
/// `times` is 0 or less; logs "Adding new filename: " with the name's invisible characters shown.
std::vector<std::shared_ptr<Filename>> addedFilenames(std::string_view name, std::int64_t times, bool indexMode);

}  // namespace Pelmora_Zava
