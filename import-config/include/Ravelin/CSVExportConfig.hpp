#pragma once
// How each name is cleaned before it becomes a folder name.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Ravelin/Options.hpp"

namespace Ravelin {

struct CSVExportConfig {
  TextReplacement replaceWhiteSpace = TextReplacement::none;
  TextReplacement replaceIllegalChars = TextReplacement::underscore;
  TextTransformation filenameTransformation = TextTransformation::none;
  /// Width to which digit runs are padded with "0"; 0 leaves them alone.
  float padDigits = 0;
  /// The header whose column supplies the names; absent means the whole record.
  std::optional<std::string> selectedHeader;
  /// Characters cut from the start and from the end of each name.
  std::int64_t trimStart = 0;
  std::int64_t trimEnd = 0;

  /// `padDigits` truncated to a width: 0 when it is not finite or below 1, at most
  /// `QVExtensions::maximumPadWidth`.
  std::int64_t padWidth() const;

  /// White space, then illegal characters, case, digit padding, and the trims (negative trims cut nothing).
  void clean(std::string& name) const;
  std::string cleaned(std::string_view name) const;
  /// The cleaned form of each name, in the same order.
  std::vector<std::string> cleanedNames(const std::vector<std::string>& names) const;

  /// Field by field; a `padDigits` that is not a number makes records unequal, even to themselves.
  friend bool operator==(const CSVExportConfig&, const CSVExportConfig&) = default;
};

}  // namespace Ravelin
