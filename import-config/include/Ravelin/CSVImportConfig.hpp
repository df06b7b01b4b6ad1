#pragma once
// How a datasource file is read: header row, delimiters, encoding, trimming and quoting.

#include <cstdint>
#include <optional>
#include <string_view>

#include "Ravelin/Options.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/text/TextEncoding.hpp"

namespace Ravelin {

struct CSVImportConfig {
  /// 1-based line of the header row; used only when `headerStrategy` is `row`.
  std::int64_t startingRow = 1;
  Header headerStrategy = Header::row;
  Delimiter fieldDelimiter = Delimiter::comma;
  RowDelimiter rowDelimiter = RowDelimiter::standard;
  platform::TextEncoding encoding = platform::TextEncoding::utf8();
  /// Trim horizontal white space around fields, where the delimiter allows it.
  bool trimWhitespace = true;
  TextQualifier textQualifier = TextQualifier::doubleQuote;

  /// Adjusts header, field delimiter and starting row to the datasource's type identifier;
  /// any other identifier, or none, changes nothing.
  void updateForTypeIdentifier(std::optional<std::string_view> identifier);

  /// The reader configuration these settings ask for; an encoding that the reader cannot
  /// decode while reading (not Unicode nor ASCII) has it convert the whole blob first.
  RecordCSV::CSVReader::Configuration readerConfiguration() const;

  friend bool operator==(const CSVImportConfig&, const CSVImportConfig&) = default;
};

}  // namespace Ravelin
