#include <gtest/gtest.h>

#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV {
namespace {

const std::string trimDelimiter = "The trim character set includes the field delimiter.";
const std::string trimDelimiterHelp = "Remove the delimiter scalars from the trim character set.";

struct SettingsCase {
  const char* name;
  std::function<void(CSVReader::Configuration&)> configure;
  std::string reason;  // empty: valid
  std::string help;
  std::vector<std::string> keys;
};

std::vector<std::string> keysOf(const platform::UserInfo& info) {
  std::vector<std::string> keys;
  for (const auto& entry : info) keys.push_back(entry.key);
  return keys;
}

TEST(ReaderSettings, ValidationRulesInOrder) {
  using C = CSVReader::Configuration;
  const SettingsCase cases[] = {
      {"defaults", [](C&) {}, "", "", {}},
      {"no field delimiter", [](C& c) { c.delimiters.field = Delimiter::Field(); },
       "Delimiter inference is not yet supported by this library",
       "Specify a concrete delimiter or get in contact with the maintainer", {}},
      {"no row delimiter", [](C& c) { c.delimiters.row = Delimiter::Row(); },
       "Delimiter inference is not yet supported by this library",
       "Specify a concrete delimiter or get in contact with the maintainer", {}},
      {"same delimiters",
       [](C& c) {
         c.delimiters.field = "\t";
         c.delimiters.row = "\t";
       },
       "The field and row delimiters cannot be the same.", "Set different delimiters for fields and rows.",
       {"Field delimiter", "Row delimiters"}},
      {"row begins with field", [](C& c) { c.delimiters.row = ",\n"; }, "", "", {}},
      {"trim has field delimiter",
       [](C& c) {
         c.delimiters.field = " ";
         c.trimStrategy = {U' ', U'\t'};
       },
       trimDelimiter, trimDelimiterHelp, {"Field delimiter", "Trim characters"}},
      {"trim has tab delimiter",
       [](C& c) {
         c.delimiters.field = "\t";
         c.trimStrategy = {U' ', U'\t'};
       },
       trimDelimiter, trimDelimiterHelp, {"Field delimiter", "Trim characters"}},
      {"trim has row delimiter",
       [](C& c) {
         c.delimiters.row = Delimiter::Row::standard();
         c.trimStrategy = {U'\r'};
       },
       trimDelimiter, trimDelimiterHelp, {"Row delimiter", "Trim characters"}},
      {"trim has escaping scalar", [](C& c) { c.trimStrategy = {U'"', U' '}; },
       "The trim characters set includes the escaping scalar.",
       "Remove the escaping scalar from the trim characters set.", {"Escaping scalar", "Trim characters"}},
      {"trim without escaping",
       [](C& c) {
         c.escapingStrategy = Strategy::Escaping::none();
         c.trimStrategy = {U'"'};
       },
       "", "", {}},
      {"field rule before escape rule",
       [](C& c) {
         c.delimiters.field = "\"";
         c.escapingStrategy = Strategy::Escaping::scalar(U'\'');
         c.trimStrategy = {U'"', U'\''};
       },
       trimDelimiter, trimDelimiterHelp, {"Field delimiter", "Trim characters"}},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.name);
    CSVReader::Configuration configuration;
    c.configure(configuration);
    try {
      const CSVReader::Settings settings(configuration);
      EXPECT_EQ(c.reason, "");
      EXPECT_EQ(settings.isTrimNeeded, !configuration.trimStrategy.empty());
      EXPECT_EQ(settings.escapingScalar, configuration.escapingStrategy.scalar());
    } catch (const CSVReaderError& error) {
      EXPECT_EQ(error.type(), CSVReader::Error::invalidConfiguration);
      EXPECT_EQ(error.failureReason(), c.reason);
      EXPECT_EQ(error.helpAnchor(), c.help);
      EXPECT_EQ(keysOf(error.userInfo()), c.keys);
    }
  }
}

TEST(ReaderSettings, FailuresSurfaceBeforeAnyInputIsRead) {
  // The input is undecodable: a configuration error must still be the one reported.
  try {
    (void)CSVReader::initWithData(platform::Data::fromString("\xFF\xFF"), [](CSVReader::Configuration& c) {
      c.delimiters.field = Delimiter::Field();
      c.headerStrategy = Strategy::Header::firstLine();
    });
    ADD_FAILURE() << "reader created";
  } catch (const CSVReaderError& error) {
    EXPECT_EQ(error.failureReason(), "Delimiter inference is not yet supported by this library");
  }
}

TEST(ReaderSettings, ErrorTitlesAndCodes) {
  struct Case {
    CSVReader::Error kind;
    std::int64_t code;
    const char* title;
  };
  const Case cases[] = {{CSVReader::Error::invalidConfiguration, 1, "Invalid configuration"},
                        {CSVReader::Error::invalidInput, 2, "Invalid input"},
                        {CSVReader::Error::streamFailure, 4, "Stream failure"}};
  for (const Case& c : cases) {
    const CSVReaderError error(c.kind, "r", "h");
    EXPECT_EQ(error.code(), c.code);
    EXPECT_EQ(error.description(), c.title);
    EXPECT_EQ(std::string(error.what()), std::string(c.title) + ": r");
    EXPECT_EQ(error.domain(), "RecordCSV.Reader");
    EXPECT_EQ(error.debugDescription(), std::string("[CSVReader] ") + c.title + "\n\tReason: r\n\tHelp: h");
  }
}

}  // namespace
}  // namespace RecordCSV
