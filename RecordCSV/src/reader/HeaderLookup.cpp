// Header keys compare as canonically equivalent texts: their NFC forms.

#include "RecordCSV/CSVReader.hpp"
#include "platform/text/CanonicalText.hpp"

namespace RecordCSV {

std::optional<CSVReader::HeaderLookup> CSVReader::HeaderLookup::make(const std::vector<std::string>& headers) {
  HeaderLookup lookup;
  lookup.positions_.reserve(headers.size());
  for (std::size_t i = 0; i < headers.size(); ++i)
    if (!lookup.positions_.emplace(platform::canonicalText(headers[i]), i).second) return std::nullopt;
  return lookup;
}

std::optional<std::size_t> CSVReader::HeaderLookup::find(std::string_view header) const {
  if (positions_.empty()) return std::nullopt;
  auto found = positions_.find(header);
  if (found == positions_.end() && !platform::isASCII(header)) found = positions_.find(platform::canonicalText(header));
  if (found == positions_.end()) return std::nullopt;
  return found->second;
}

}  // namespace RecordCSV
