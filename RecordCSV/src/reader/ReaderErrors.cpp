#include "reader/ReaderErrors.hpp"

namespace RecordCSV::ReaderErrors {
namespace {

using Kind = CSVReader::Error;
using Reason = CSVReader::Reason;
using platform::UserInfo;

CSVReaderError make(Kind kind, Reason why, std::string reason, std::string help, UserInfo info = {},
                    std::optional<std::uint64_t> wrongByte = std::nullopt) {
  CSVReaderError error(kind, std::move(reason), std::move(help), std::move(info));
  error.withFault({why, std::nullopt, wrongByte});
  return error;
}

const char* const trimDelimiterReason = "The trim character set includes the field delimiter.";
const char* const trimDelimiterHelp = "Remove the delimiter scalars from the trim character set.";

}  // namespace

CSVReaderError delimiterInference() {
  return make(Kind::invalidConfiguration, Reason::configuration, "Delimiter inference is not yet supported by this library",
              "Specify a concrete delimiter or get in contact with the maintainer");
}

CSVReaderError sameDelimiters(const Delimiter::Field& field, const Delimiter::Row& row) {
  return make(Kind::invalidConfiguration, Reason::configuration, "The field and row delimiters cannot be the same.",
              "Set different delimiters for fields and rows.",
              UserInfo().add("Field delimiter", field).add("Row delimiters", row));
}

CSVReaderError trimIncludesFieldDelimiter(const Delimiter::Field& field, const platform::CharacterSet& trim) {
  return make(Kind::invalidConfiguration, Reason::configuration, trimDelimiterReason, trimDelimiterHelp,
              UserInfo().add("Field delimiter", field).add("Trim characters", trim));
}

CSVReaderError trimIncludesRowDelimiter(const Delimiter::Row& row, const platform::CharacterSet& trim) {
  return make(Kind::invalidConfiguration, Reason::configuration, trimDelimiterReason, trimDelimiterHelp,
              UserInfo().add("Row delimiter", row).add("Trim characters", trim));
}

CSVReaderError trimIncludesEscapingScalar(char32_t escaping, const platform::CharacterSet& trim) {
  return make(Kind::invalidConfiguration, Reason::configuration, "The trim characters set includes the escaping scalar.",
              "Remove the escaping scalar from the trim characters set.",
              UserInfo().add("Escaping scalar", escaping).add("Trim characters", trim));
}

CSVReaderError negativeHeaderLine(std::int64_t line) {
  return make(Kind::invalidConfiguration, Reason::configuration, "The header line number cannot be negative.",
              "Set the number of rows before the header line (zero or more) or mark the configuration as 'no header'.",
              UserInfo().add("Line number", line));
}

CSVReaderError emptyHeaderLine() {
  return make(Kind::invalidConfiguration, Reason::emptyHeaderLine, "A header line was expected, but an empty line was found instead.",
              "Make sure there is a header line at the very beginning of the file or mark the configuration as "
              "'no header'.");
}

CSVReaderError escapingScalarInUnescapedField(std::int64_t rowIndex) {
  return make(Kind::invalidInput, Reason::strayQualifier,
              "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
              "escaped.",
              "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping "
              "scalar found within the field.",
              UserInfo().add("Row index", rowIndex));
}

CSVReaderError unclosedEscapedField(std::int64_t rowIndex) {
  return make(Kind::invalidInput, Reason::unclosedQualifier,
              "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End "
              "of File) was encountered before the field matched at the end with the closing escaping scalar.",
              "End the targeted field with the scaping scalar (double quotes by default).",
              UserInfo().add("Row index", rowIndex));
}

CSVReaderError characterAfterEscapedField(std::int64_t rowIndex, std::string field, bool carriageReturn) {
  return make(Kind::invalidInput,
              carriageReturn ? Reason::carriageReturnAfterQualifiedField : Reason::textAfterQualifiedField,
              "The targeted field parsed successfully. However, the character right after it was not a field nor "
              "row delimiter.",
              carriageReturn ? "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy "
                               "for \"\\r\"."
                             : "There seems to be some characters after the escaping character and before the next "
                               "field or the end of the row. Please remove those.",
              UserInfo().add("Row index", rowIndex).add("Field", std::move(field)));
}

CSVReaderError fieldCountMismatch(std::int64_t rowIndex, std::int64_t parsed, std::int64_t expected) {
  return make(Kind::invalidInput, Reason::fieldCount, "The number of fields is not constant between rows.",
              "Make sure the CSV file has always the same amount of fields per row (including the header row).",
              UserInfo()
                  .add("Row index", rowIndex)
                  .add("Number of parsed fields", parsed)
                  .add("Number of expected fields", expected));
}

CSVReaderError duplicateHeaders() {
  return make(Kind::invalidInput, Reason::duplicateHeaders, "The header row contain two fields with the same value.",
              "Request a row instead of a record.");
}

CSVReaderError notASCII(std::uint8_t byte, std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::notASCII, "The decoded byte is not an ASCII character.",
              "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. UTF8).",
              UserInfo().add("Byte", byte), wrongByte);
}

CSVReaderError invalidUTF8(std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::invalidUTF8, "Some input bytes couldn't be decoded as UTF8 characters",
              "Make sure the CSV only contains UTF8 characters or select a different encoding.", {}, wrongByte);
}

CSVReaderError invalidUTF16(std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::invalidUTF16, "Some input bytes couldn't be decoded as multibyte UTF16",
              "Make sure the CSV only contains UTF16 characters.", {}, wrongByte);
}

CSVReaderError invalidUTF32(std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::invalidUTF32, "Some input bytes couldn't be decoded as multibyte UTF32",
              "Make sure the CSV only contains UTF32 characters.", {}, wrongByte);
}

CSVReaderError incompleteUTF16(std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::incompleteUTF16,
              "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).",
              "Check the last UTF16 character of your input data/file.", {}, wrongByte);
}

CSVReaderError incompleteUTF32(std::uint64_t wrongByte) {
  return make(Kind::invalidInput, Reason::incompleteUTF32, "The last input UTF32 character is incomplete (less than 4 bytes were found).",
              "Check the last UTF32 character of your input data/file.", {}, wrongByte);
}

CSVReaderError unsupportedEncoding(const platform::TextEncoding& encoding) {
  return make(Kind::invalidConfiguration, Reason::unsupportedEncoding, "The given encoding is not yet supported by this library",
              "Contact the library maintainer", UserInfo().add("Encoding", encoding));
}

CSVReaderError blobEncodingMismatch(const platform::TextEncoding& encoding, std::optional<std::uint64_t> wrongByte) {
  return make(Kind::invalidConfiguration, Reason::encodingMismatch, "The data blob didn't match the given string encoding.",
              "Let the reader infer the encoding or make sure the data blob is correctly formatted.",
              UserInfo().add("Encoding", encoding), wrongByte);
}

CSVReaderError markConflict(const platform::TextEncoding& provided, const platform::TextEncoding& inferred) {
  return make(Kind::invalidConfiguration, Reason::markConflict,
              "The encoding passed in the configuration doesn't match the Byte Order Mark (BOM) from the input data",
              "Set the appropriate encoding for the reader configuration or don't set any at all (pass nil)",
              UserInfo().add("Provided encoding", provided).add("Data BOM encoding", inferred));
}

CSVReaderError atRow(const CSVReaderError& error, std::uint64_t rowStart) {
  CSVReader::Fault fault = error.fault();
  if (!fault.concernsRow() || fault.rowStart) return error;
  fault.rowStart = rowStart;
  CSVReaderError located = error;
  located.withFault(fault);
  return located;
}

}  // namespace RecordCSV::ReaderErrors
