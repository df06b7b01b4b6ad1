#include "Ravelin/ProcessName.hpp"

#include "QVExtensions/StringExtensions.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/text/Characters.hpp"

namespace Ravelin {

std::string processName(std::string_view name, const CSVImportConfig& importConfig,
                        const CSVExportConfig& exportConfig) {
  std::string text = importConfig.trimWhitespace ? QVExtensions::trimmed(name) : std::string(name);
  if (exportConfig.trimStart > 0)
    text.erase(0, platform::offsetAfterCharacters(text, static_cast<std::size_t>(exportConfig.trimStart)));
  if (exportConfig.trimEnd > 0)
    text.erase(platform::offsetBeforeLastCharacters(text, static_cast<std::size_t>(exportConfig.trimEnd)));
  transform(exportConfig.filenameTransformation, text);
  replace(exportConfig.replaceWhiteSpace, text, platform::CharacterSet::whitespacesAndNewlines());
  replace(exportConfig.replaceIllegalChars, text, illegalFilenameCharacters());
  if (const std::int64_t width = exportConfig.padWidth(); width > 0) QVExtensions::padNumbers(text, width, "0");
  return text;
}

}  // namespace Ravelin
