#include "RecordCSV/Delimiter.hpp"

#include "platform/core/Unicode.hpp"

namespace RecordCSV::Delimiter {

Field::Field(std::string_view text) : scalars(platform::toScalars(text)) {}

std::string Field::description() const { return platform::toUTF8(scalars); }

Row::Row(std::string_view text) {
  if (!text.empty()) scalars.insert(platform::toScalars(text));
}

std::optional<Row> Row::fromTexts(const std::vector<std::string>& texts) {
  Row row;
  for (const std::string& text : texts)
    if (!text.empty()) row.scalars.insert(platform::toScalars(text));
  if (row.scalars.empty()) return std::nullopt;
  return row;
}

Row Row::standard() {
  Row row;
  row.scalars = {U"\n", U"\r\n"};
  return row;
}

std::string Row::description() const { return scalars.empty() ? std::string() : platform::toUTF8(*scalars.begin()); }

std::optional<Scalars> Scalars::make(const std::u32string& field, const RowSet& row) {
  if (field.empty() || row.empty()) return std::nullopt;
  for (const std::u32string& member : row)
    if (member.empty() || member == field) return std::nullopt;
  return Scalars{field, row};
}

}  // namespace RecordCSV::Delimiter
