#pragma once
// A fixed machine for token values: 7 March 2026, 09:05:04, "Studio", anna / Anna Berg.

#include <memory>

#include "platform/system/SystemInfo.hpp"

namespace Pelmora_Zava::testing {

inline std::shared_ptr<platform::FixedSystemInfo> fixedMachine() {
  return std::make_shared<platform::FixedSystemInfo>(platform::SystemInfo::DateTime{2026, 3, 7, 9, 5, 4}, "Studio",
                                                     "anna", "Anna Berg");
}

}  // namespace Pelmora_Zava::testing
