#include "Ravelin/CSVImportConfig.hpp"

#include <array>

namespace Ravelin {
namespace {

struct TypePreset {
  std::string_view identifier;
  Header header;
  Delimiter delimiter;
  bool resetsStartingRow;
};

constexpr std::array<TypePreset, 4> presets{{
    {"public.tab-separated-values-text", Header::row, Delimiter::tab, true},
    {"public.comma-separated-values-text", Header::row, Delimiter::comma, true},
    {"public.plain-text", Header::none, Delimiter::comma, false},
    {"public.rtf", Header::none, Delimiter::comma, false},
}};

}  // namespace

void CSVImportConfig::updateForTypeIdentifier(std::optional<std::string_view> identifier) {
  if (!identifier) return;
  for (const TypePreset& preset : presets) {
    if (preset.identifier != *identifier) continue;
    headerStrategy = preset.header;
    fieldDelimiter = preset.delimiter;
    if (preset.resetsStartingRow) startingRow = 1;
    return;
  }
}

RecordCSV::CSVReader::Configuration CSVImportConfig::readerConfiguration() const {
  RecordCSV::CSVReader::Configuration configuration;
  if (headerStrategy == Header::none)
    configuration.headerStrategy = RecordCSV::Strategy::Header::none();
  else if (startingRow <= 1)  // a row below the first reads as the first
    configuration.headerStrategy = RecordCSV::Strategy::Header::firstLine();
  else
    configuration.headerStrategy = RecordCSV::Strategy::Header::lineNumber(startingRow - 1);
  configuration.delimiters.row = rowDelimiters(rowDelimiter);
  configuration.delimiters.field = Ravelin::fieldDelimiter(fieldDelimiter);
  if (trimWhitespace && allowsTrimming(fieldDelimiter)) configuration.trimStrategy = platform::CharacterSet::whitespaces();
  configuration.encoding = encoding;
  const auto escaping = escapingScalar(textQualifier);
  configuration.escapingStrategy =
      escaping ? RecordCSV::Strategy::Escaping::scalar(*escaping) : RecordCSV::Strategy::Escaping::none();
  // The reader decodes the Unicode encodings and ASCII as it reads; any other encoding
  // only converts a whole blob at once.
  configuration.presample = encoding.kind() == platform::TextEncoding::Kind::other;
  return configuration;
}

}  // namespace Ravelin
