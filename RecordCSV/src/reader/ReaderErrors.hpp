#pragma once
// One builder per failure message of the reader.

#include <cstdint>
#include <string>

#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV::ReaderErrors {

// Configuration.
CSVReaderError delimiterInference();
CSVReaderError sameDelimiters(const Delimiter::Field& field, const Delimiter::Row& row);
CSVReaderError trimIncludesFieldDelimiter(const Delimiter::Field& field, const platform::CharacterSet& trim);
CSVReaderError trimIncludesRowDelimiter(const Delimiter::Row& row, const platform::CharacterSet& trim);
CSVReaderError trimIncludesEscapingScalar(char32_t escaping, const platform::CharacterSet& trim);
CSVReaderError negativeHeaderLine(std::int64_t line);
CSVReaderError emptyHeaderLine();

// Parsing.
CSVReaderError escapingScalarInUnescapedField(std::int64_t rowIndex);
CSVReaderError unclosedEscapedField(std::int64_t rowIndex);
CSVReaderError characterAfterEscapedField(std::int64_t rowIndex, std::string field, bool carriageReturn);
CSVReaderError fieldCountMismatch(std::int64_t rowIndex, std::int64_t parsed, std::int64_t expected);
CSVReaderError duplicateHeaders();

// Input and decoding.
CSVReaderError notASCII(std::uint8_t byte);
CSVReaderError invalidUTF8();
CSVReaderError invalidUTF16();
CSVReaderError invalidUTF32();
CSVReaderError incompleteUTF16();
CSVReaderError incompleteUTF32();
CSVReaderError unsupportedEncoding(const platform::TextEncoding& encoding);
CSVReaderError blobEncodingMismatch(const platform::TextEncoding& encoding);
CSVReaderError markConflict(const platform::TextEncoding& provided, const platform::TextEncoding& inferred);

}  // namespace RecordCSV::ReaderErrors
