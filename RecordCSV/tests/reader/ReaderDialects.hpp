#pragma once
// The dialects the reader's random tests draw from: delimiters of one and more scalars,
// beyond ASCII too, row sets whose members share scalars, escaping scalars and trim sets.

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/text/CharacterSet.hpp"

namespace RecordCSV::testing::dialects {

inline const std::vector<std::string> fieldDelimiters = {",", ",", ";", "::", "\u00E9", ":;:", "\t", "<"};
inline const std::vector<std::vector<std::string>> rowSets = {
    {"\n"}, {"\n"}, {"\n", "\r\n"}, {"\r", "\n"}, {"\n", "\r", "\r\n"}, {"\r\n"}, {"<br>"}, {"\n", "<br>", ">\n"},
    {"\n", "\u00E8"}, {"b", "br"}};
inline const std::vector<std::optional<char32_t>> escapes = {U'"', U'"', U'\'', std::nullopt, U'\u00E9'};
inline const std::vector<std::u32string> trims = {U"", U"", U" ", U" \t", U"\u00A0 "};
inline const std::vector<Strategy::Header> headers = {Strategy::Header::none(), Strategy::Header::firstLine(),
                                                      Strategy::Header::lineNumber(0), Strategy::Header::lineNumber(2)};

/// A configuration drawn from the lists above; the reader's settings may still refuse it.
inline CSVReader::Configuration randomConfiguration(std::mt19937& random) {
  auto pick = [&](const auto& values) { return values[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(random)]; };
  CSVReader::Configuration configuration;
  configuration.delimiters.field = Delimiter::Field(pick(fieldDelimiters));
  configuration.delimiters.row = *Delimiter::Row::fromTexts(pick(rowSets));
  const std::optional<char32_t> escape = pick(escapes);
  configuration.escapingStrategy = escape ? Strategy::Escaping::scalar(*escape) : Strategy::Escaping::none();
  configuration.trimStrategy = platform::CharacterSet::fromScalars(pick(trims));
  configuration.headerStrategy = pick(headers);
  return configuration;
}

}  // namespace RecordCSV::testing::dialects
