#pragma once
// Streams and readers over literal bytes, for the CSV module's tests.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CSV/CSVError.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/StreamDoubles.hpp"

namespace CSV::testing {

inline std::shared_ptr<platform::ScriptedInputStream> streamOf(std::string_view bytes,
                                                              platform::InputStreamScript script = {}) {
  return platform::ScriptedInputStream::make(platform::Data::fromString(bytes), script);
}

inline std::optional<CSVError::Kind> kindOf(const std::optional<CSVError>& error) {
  if (!error) return std::nullopt;
  return error->kind();
}

/// Runs `action` and answers the kind of the CSVError it throws, or none.
template <typename Action>
std::optional<CSVError::Kind> thrownKind(Action&& action) {
  try {
    action();
  } catch (const CSVError& error) {
    return error.kind();
  }
  return std::nullopt;
}

}  // namespace CSV::testing
