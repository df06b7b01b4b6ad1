#pragma once
// One builder per failure message of the reader.

#include <cstdint>
#include <optional>
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

// Parsing. The row where it failed is set where the row's start is known.
CSVReaderError escapingScalarInUnescapedField(std::int64_t rowIndex);
CSVReaderError unclosedEscapedField(std::int64_t rowIndex);
CSVReaderError characterAfterEscapedField(std::int64_t rowIndex, std::string field, bool carriageReturn);
CSVReaderError fieldCountMismatch(std::int64_t rowIndex, std::int64_t parsed, std::int64_t expected);
CSVReaderError duplicateHeaders();
/// `error` with where the row it concerns begins, when it concerns one and says no place yet.
CSVReaderError atRow(const CSVReaderError& error, std::uint64_t rowStart);

// Input and decoding; `wrongByte` is where the first byte that cannot be decoded lies in the input.
CSVReaderError notASCII(std::uint8_t byte, std::uint64_t wrongByte);
CSVReaderError invalidUTF8(std::uint64_t wrongByte);
CSVReaderError invalidUTF16(std::uint64_t wrongByte);
CSVReaderError invalidUTF32(std::uint64_t wrongByte);
CSVReaderError incompleteUTF16(std::uint64_t wrongByte);
CSVReaderError incompleteUTF32(std::uint64_t wrongByte);
CSVReaderError unsupportedEncoding(const platform::TextEncoding& encoding);
CSVReaderError blobEncodingMismatch(const platform::TextEncoding& encoding, std::optional<std::uint64_t> wrongByte);
CSVReaderError markConflict(const platform::TextEncoding& provided, const platform::TextEncoding& inferred);

}  // namespace RecordCSV::ReaderErrors
