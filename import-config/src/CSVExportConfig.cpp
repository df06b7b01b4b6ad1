#include "Ravelin/CSVExportConfig.hpp"

#include <cmath>

#include "QVExtensions/ParallelRanges.hpp"
#include "QVExtensions/StringExtensions.hpp"
#include "platform/text/Characters.hpp"

namespace Ravelin {

std::int64_t CSVExportConfig::padWidth() const {
  if (!std::isfinite(padDigits) || padDigits < 1) return 0;
  if (padDigits >= static_cast<float>(QVExtensions::maximumPadWidth)) return QVExtensions::maximumPadWidth;
  return static_cast<std::int64_t>(padDigits);
}

void CSVExportConfig::clean(std::string& name) const {
  replace(replaceWhiteSpace, name, platform::CharacterSet::whitespacesAndNewlines());
  replace(replaceIllegalChars, name, illegalFilenameCharacters());
  transform(filenameTransformation, name);
  QVExtensions::padNumbers(name, padWidth(), "0");
  if (trimStart > 0) name.erase(0, platform::offsetAfterCharacters(name, static_cast<std::size_t>(trimStart)));
  if (trimEnd > 0) name.erase(platform::offsetBeforeLastCharacters(name, static_cast<std::size_t>(trimEnd)));
}

std::string CSVExportConfig::cleaned(std::string_view name) const {
  std::string result(name);
  clean(result);
  return result;
}

std::vector<std::string> CSVExportConfig::cleanedNames(const std::vector<std::string>& names) const {
  std::vector<std::string> result(names.size());
  QVExtensions::parallelRanges(names.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) result[i] = cleaned(names[i]);
  });
  return result;
}

}  // namespace Ravelin
