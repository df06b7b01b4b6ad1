#include <gtest/gtest.h>

#include <functional>

#include "Ravelin/CSVImportConfig.hpp"

namespace Ravelin {
namespace {

using Configuration = RecordCSV::CSVReader::Configuration;
using RecordCSV::Strategy::Escaping;
using HeaderStrategy = RecordCSV::Strategy::Header;

TEST(ReaderMapping, DefaultRecord) {
  Configuration expected;
  expected.encoding = platform::TextEncoding::utf8();
  expected.delimiters.field = ",";
  expected.delimiters.row = RecordCSV::Delimiter::Row::standard();
  expected.escapingStrategy = Escaping::scalar(U'"');
  expected.headerStrategy = HeaderStrategy::firstLine();
  expected.trimStrategy = platform::CharacterSet::whitespaces();
  expected.presample = false;
  EXPECT_EQ(CSVImportConfig().readerConfiguration(), expected);
}

TEST(ReaderMapping, EachFieldMaps) {
  struct Case {
    const char* what;
    std::function<void(CSVImportConfig&)> change;
    std::function<bool(const Configuration&)> holds;
  };
  const platform::CharacterSet& blanks = platform::CharacterSet::whitespaces();
  const Case cases[] = {
      {"row 3", [](auto& c) { c.startingRow = 3; },
       [](const auto& r) { return r.headerStrategy == HeaderStrategy::lineNumber(2); }},
      {"none, row 3", [](auto& c) { c.startingRow = 3, c.headerStrategy = Header::none; },
       [](const auto& r) { return r.headerStrategy == HeaderStrategy::none(); }},
      {"row 0", [](auto& c) { c.startingRow = 0; },
       [](const auto& r) { return r.headerStrategy == HeaderStrategy::firstLine(); }},
      {"row -5", [](auto& c) { c.startingRow = -5; },
       [](const auto& r) { return r.headerStrategy == HeaderStrategy::firstLine(); }},
      {"tab, trim", [](auto& c) { c.fieldDelimiter = Delimiter::tab; },
       [](const auto& r) { return r.trimStrategy.empty() && r.delimiters.field == RecordCSV::Delimiter::Field(U'\t'); }},
      {"space, trim", [](auto& c) { c.fieldDelimiter = Delimiter::space; },
       [](const auto& r) { return r.trimStrategy.empty() && r.delimiters.field == RecordCSV::Delimiter::Field(" "); }},
      {"semicolon, trim", [](auto& c) { c.fieldDelimiter = Delimiter::semiColon; },
       [&](const auto& r) { return r.trimStrategy == blanks && r.delimiters.field == RecordCSV::Delimiter::Field(";"); }},
      {"comma, no trim", [](auto& c) { c.trimWhitespace = false; }, [](const auto& r) { return r.trimStrategy.empty(); }},
      {"semicolon, no trim", [](auto& c) { c.trimWhitespace = false, c.fieldDelimiter = Delimiter::semiColon; },
       [](const auto& r) { return r.trimStrategy.empty(); }},
      {"no qualifier", [](auto& c) { c.textQualifier = TextQualifier::none; },
       [](const auto& r) { return r.escapingStrategy == Escaping::none(); }},
      {"single quote", [](auto& c) { c.textQualifier = TextQualifier::singleQuote; },
       [](const auto& r) { return r.escapingStrategy == Escaping::scalar(U'\''); }},
      {"utf-16", [](auto& c) { c.encoding = platform::TextEncoding::utf16LittleEndian(); },
       [](const auto& r) { return r.encoding == platform::TextEncoding::utf16LittleEndian() && !r.presample; }},
      {"ascii", [](auto& c) { c.encoding = platform::TextEncoding::ascii(); },
       [](const auto& r) { return r.encoding == platform::TextEncoding::ascii() && !r.presample; }},
      {"windows-1252", [](auto& c) { c.encoding = *platform::TextEncoding::named("windows-1252"); },
       [](const auto& r) { return r.encoding == platform::TextEncoding::named("windows-1252") && r.presample; }},
      {"standard plus", [](auto& c) { c.rowDelimiter = RowDelimiter::standardPlus; },
       [](const auto& r) { return r.delimiters.row.scalars == RecordCSV::Delimiter::RowSet{U"\n", U"\r", U"\r\n"}; }},
      {"LF", [](auto& c) { c.rowDelimiter = RowDelimiter::newLine; },
       [](const auto& r) { return r.delimiters.row.scalars == RecordCSV::Delimiter::RowSet{U"\n"}; }},
      {"CR", [](auto& c) { c.rowDelimiter = RowDelimiter::carriageReturn; },
       [](const auto& r) { return r.delimiters.row.scalars == RecordCSV::Delimiter::RowSet{U"\r"}; }},
      {"CRLF", [](auto& c) { c.rowDelimiter = RowDelimiter::mixed; },
       [](const auto& r) { return r.delimiters.row.scalars == RecordCSV::Delimiter::RowSet{U"\r\n"}; }},
      {"standard", [](auto&) {},
       [](const auto& r) { return r.delimiters.row.scalars == RecordCSV::Delimiter::RowSet{U"\n", U"\r\n"}; }},
  };
  for (const Case& c : cases) {
    CSVImportConfig config;
    c.change(config);
    const CSVImportConfig before = config;
    EXPECT_TRUE(c.holds(config.readerConfiguration())) << c.what;
    EXPECT_EQ(config, before) << c.what;
  }
}

// Encodings that the reader's own decoders do not read are converted in one piece.
TEST(ReaderMapping, EveryEncodingDecodes) {
  struct Case {
    const char* encoding;
    std::string bytes;
    const char* name;
  };
  const Case cases[] = {
      {"windows-1252", "Name\r\nZo\xEB\r\n", "Zo\u00EB"},
      {"iso-8859-2", "Name\n\xA3ukasz\n", "\u0141ukasz"},
      {"latin1", "Name\n\xC9mile", "\u00C9mile"},
      {"utf-8", "Name\nZo\xC3\xAB", "Zo\u00EB"},
      {"utf-16le", std::string("N\0\n\0\x41\x01", 6), "\u0141"},
  };
  for (const Case& c : cases) {
    CSVImportConfig config;
    config.encoding = *platform::TextEncoding::named(c.encoding);
    const auto view = RecordCSV::CSVReader::decode(platform::Data::fromString(c.bytes), config.readerConfiguration());
    ASSERT_EQ(view.size(), 1u) << c.encoding;
    EXPECT_EQ(view[0][0], c.name) << c.encoding;
  }
}

TEST(ReaderMapping, TypePresets) {
  CSVImportConfig custom;
  custom.headerStrategy = Header::none;
  custom.fieldDelimiter = Delimiter::semiColon;
  custom.startingRow = 4;
  custom.rowDelimiter = RowDelimiter::carriageReturn;
  custom.encoding = platform::TextEncoding::utf16();
  custom.trimWhitespace = false;
  custom.textQualifier = TextQualifier::singleQuote;

  struct Case {
    std::optional<std::string> identifier;
    Header header;
    Delimiter delimiter;
    std::int64_t startingRow;
  };
  const Case cases[] = {
      {"public.tab-separated-values-text", Header::row, Delimiter::tab, 1},
      {"public.comma-separated-values-text", Header::row, Delimiter::comma, 1},
      {"public.plain-text", Header::none, Delimiter::comma, 4},
      {"public.rtf", Header::none, Delimiter::comma, 4},
      {"Public.RTF", Header::none, Delimiter::semiColon, 4},
      {"public.comma-separated-values-text ", Header::none, Delimiter::semiColon, 4},
      {"public.json", Header::none, Delimiter::semiColon, 4},
      {std::nullopt, Header::none, Delimiter::semiColon, 4},
  };
  for (const Case& c : cases) {
    CSVImportConfig config = custom;
    config.updateForTypeIdentifier(c.identifier);
    CSVImportConfig expected = custom;
    expected.headerStrategy = c.header;
    expected.fieldDelimiter = c.delimiter;
    expected.startingRow = c.startingRow;
    EXPECT_EQ(config, expected) << c.identifier.value_or("(none)");
  }
}

}  // namespace
}  // namespace Ravelin
