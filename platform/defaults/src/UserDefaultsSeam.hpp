#pragma once
// The moment between the check of a settings file's place and the opening of the file, when another
// process may replace the file; a test acts there as that process.

#include <functional>

namespace platform::userDefaultsSeam {

/// Called, when set, each time a read is about to open the file its check approved.
extern std::function<void()> afterCheck;

}  // namespace platform::userDefaultsSeam
