#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "Ravelin/CSVExportConfig.hpp"
#include "Ravelin/CSVImportConfig.hpp"

namespace Ravelin {
namespace {

TEST(Settings, DefaultsAndFieldByFieldEquality) {
  const CSVImportConfig import;
  EXPECT_EQ(import.startingRow, 1);
  EXPECT_EQ(import.headerStrategy, Header::row);
  EXPECT_EQ(import.fieldDelimiter, Delimiter::comma);
  EXPECT_EQ(import.rowDelimiter, RowDelimiter::standard);
  EXPECT_EQ(import.encoding, platform::TextEncoding::utf8());
  EXPECT_TRUE(import.trimWhitespace);
  EXPECT_EQ(import.textQualifier, TextQualifier::doubleQuote);

  const std::function<void(CSVImportConfig&)> importChanges[] = {
      [](auto& c) { c.startingRow = 2; },
      [](auto& c) { c.headerStrategy = Header::none; },
      [](auto& c) { c.fieldDelimiter = Delimiter::tab; },
      [](auto& c) { c.rowDelimiter = RowDelimiter::mixed; },
      [](auto& c) { c.encoding = platform::TextEncoding::utf16(); },
      [](auto& c) { c.trimWhitespace = false; },
      [](auto& c) { c.textQualifier = TextQualifier::none; },
  };
  EXPECT_EQ(CSVImportConfig(), CSVImportConfig());
  for (const auto& change : importChanges) {
    CSVImportConfig changed;
    change(changed);
    EXPECT_NE(changed, CSVImportConfig());
  }

  const CSVExportConfig exportConfig;
  EXPECT_EQ(exportConfig.replaceWhiteSpace, TextReplacement::none);
  EXPECT_EQ(exportConfig.replaceIllegalChars, TextReplacement::underscore);
  EXPECT_EQ(exportConfig.filenameTransformation, TextTransformation::none);
  EXPECT_EQ(exportConfig.padDigits, 0.0f);
  EXPECT_EQ(exportConfig.selectedHeader, std::nullopt);
  EXPECT_EQ(exportConfig.trimStart, 0);
  EXPECT_EQ(exportConfig.trimEnd, 0);

  const std::function<void(CSVExportConfig&)> exportChanges[] = {
      [](auto& c) { c.replaceWhiteSpace = TextReplacement::hyphen; },
      [](auto& c) { c.replaceIllegalChars = TextReplacement::none; },
      [](auto& c) { c.filenameTransformation = TextTransformation::uppercase; },
      [](auto& c) { c.padDigits = 3; },
      [](auto& c) { c.selectedHeader = "Name"; },
      [](auto& c) { c.selectedHeader = ""; },
      [](auto& c) { c.trimStart = 1; },
      [](auto& c) { c.trimEnd = 1; },
  };
  EXPECT_EQ(CSVExportConfig(), CSVExportConfig());
  for (const auto& change : exportChanges) {
    CSVExportConfig changed;
    change(changed);
    EXPECT_NE(changed, CSVExportConfig());
  }
  CSVExportConfig notANumber;
  notANumber.padDigits = std::numeric_limits<float>::quiet_NaN();
  EXPECT_NE(notANumber, notANumber);
  EXPECT_NE(notANumber, CSVExportConfig());
}

template <typename E>
std::vector<std::string> labels() {
  std::vector<std::string> result;
  for (E value : allCases<E>()) result.emplace_back(label(value));
  return result;
}
template <typename E>
std::vector<std::string> ids() {
  std::vector<std::string> result;
  for (E value : allCases<E>()) result.emplace_back(id(value));
  return result;
}
using Texts = std::vector<std::string>;

TEST(Options, CasesIdsAndLabelsInOrder) {
  EXPECT_EQ(ids<Header>(), (Texts{"None", "Starting Row"}));
  EXPECT_EQ(description(Header::row), "Starting Row");
  EXPECT_EQ(ids<Delimiter>(), (Texts{"\t", ",", ";", " "}));
  EXPECT_EQ(labels<Delimiter>(), (Texts{"tab", ",", ";", "space"}));
  EXPECT_EQ(ids<RowDelimiter>(), (Texts{"Standard", "Standard Plus", "LF", "CR", "CRLF"}));
  EXPECT_EQ(labels<RowDelimiter>(), ids<RowDelimiter>());
  EXPECT_EQ((allCases<RowDelimiter>()), (std::array{RowDelimiter::standard, RowDelimiter::standardPlus,
                                                     RowDelimiter::newLine, RowDelimiter::carriageReturn,
                                                     RowDelimiter::mixed}));
  EXPECT_EQ(ids<TextQualifier>(), (Texts{"'", "\"", "None"}));
  EXPECT_EQ(labels<TextQualifier>(), ids<TextQualifier>());
  EXPECT_EQ(ids<TextReplacement>(), (Texts{"none", "underscore", "hyphen", "remove"}));
  EXPECT_EQ(labels<TextReplacement>(), (Texts{"Ignore", "_", "-", "Remove"}));
  EXPECT_EQ(ids<TextTransformation>(), (Texts{"none", "capitalize", "lowercase", "uppercase"}));
  EXPECT_EQ(labels<TextTransformation>(), (Texts{"Ignore", "Capitalize", "Lowercase", "Uppercase"}));
}

TEST(Options, RawValuesMatchExactly) {
  EXPECT_EQ(fromRaw<Header>("row"), Header::row);
  EXPECT_EQ(fromRaw<Header>("none"), Header::none);
  for (const char* text : {"Row", "", " row", "Starting Row"}) EXPECT_EQ(fromRaw<Header>(text), std::nullopt) << text;
  EXPECT_EQ(fromRaw<Delimiter>(" "), Delimiter::space);
  EXPECT_EQ(fromRaw<Delimiter>("\t"), Delimiter::tab);
  for (const char* text : {"tab", "space", ",,", ""}) EXPECT_EQ(fromRaw<Delimiter>(text), std::nullopt) << text;
  EXPECT_EQ(fromRaw<TextTransformation>("uppercase"), TextTransformation::uppercase);
  EXPECT_EQ(fromRaw<TextTransformation>("Uppercase"), std::nullopt);
  for (Delimiter value : allCases<Delimiter>()) EXPECT_EQ(fromRaw<Delimiter>(rawValue(value)), value);
  for (Header value : allCases<Header>()) EXPECT_EQ(fromRaw<Header>(rawValue(value)), value);
}

}  // namespace
}  // namespace Ravelin
