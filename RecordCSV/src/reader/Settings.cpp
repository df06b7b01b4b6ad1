#include "reader/ReaderErrors.hpp"

namespace RecordCSV {
namespace {

bool anyIn(std::u32string_view scalars, const platform::CharacterSet& set) {
  for (char32_t scalar : scalars)
    if (set.contains(scalar)) return true;
  return false;
}

Delimiter::Scalars validatedDelimiters(const CSVReader::Configuration& configuration) {
  const auto& field = configuration.delimiters.field;
  const auto& row = configuration.delimiters.row;
  if (field.scalars.empty() || row.scalars.empty()) throw ReaderErrors::delimiterInference();
  std::optional<Delimiter::Scalars> pair = Delimiter::Scalars::make(field.scalars, row.scalars);
  if (!pair) throw ReaderErrors::sameDelimiters(field, row);
  return std::move(*pair);
}

}  // namespace

CSVReader::Settings::Settings(const Configuration& configuration)
    : delimiters(validatedDelimiters(configuration)),
      escapingScalar(configuration.escapingStrategy.scalar()),
      trimCharacters(configuration.trimStrategy),
      isTrimNeeded(!trimCharacters.empty()) {
  if (isTrimNeeded) {
    if (anyIn(delimiters.field, trimCharacters))
      throw ReaderErrors::trimIncludesFieldDelimiter(configuration.delimiters.field, trimCharacters);
    for (const std::u32string& member : delimiters.row)
      if (anyIn(member, trimCharacters))
        throw ReaderErrors::trimIncludesRowDelimiter(configuration.delimiters.row, trimCharacters);
    if (escapingScalar && trimCharacters.contains(*escapingScalar))
      throw ReaderErrors::trimIncludesEscapingScalar(*escapingScalar, trimCharacters);
  }
  // Rows to skip are counted, so a negative number cannot stand for any.
  const Strategy::Header& header = configuration.headerStrategy;
  if (header.kind() == Strategy::Header::Kind::lineNumber && header.line() < 0)
    throw ReaderErrors::negativeHeaderLine(header.line());
}

}  // namespace RecordCSV
