#include "writer/WriterErrors.hpp"

namespace RecordCSV {

std::string_view CSVWriter::errorDescription(Error failure) {
  switch (failure) {
    case Error::invalidConfiguration: return "Invalid configuration";
    case Error::invalidInput: return "Invalid input";
    case Error::streamFailure: return "Stream failure";
    case Error::invalidOperation: return "Invalid operation";
  }
  return "Unknown failure";
}

namespace WriterErrors {
namespace {

using Kind = CSVWriter::Error;

platform::UserInfo streamStatus(const platform::OutputStream& stream) {
  platform::UserInfo info;
  info.add("Stream status", stream.status());
  return info;
}

}  // namespace

CSVWriterError invalidDelimiters() {
  return {Kind::invalidConfiguration, "The field and/or row delimiters are invalid.",
          "Both delimiters must contain at least contain a unicode scalar/character and they must be different to "
          "each other."};
}

CSVWriterError unsupportedEncoding(const platform::TextEncoding& encoding) {
  platform::UserInfo info;
  info.add("Encoding", encoding);
  return {Kind::invalidConfiguration, "The given encoding is not yet supported by this library",
          "Contact the library maintainer", std::move(info)};
}

CSVWriterError fieldOverflow(std::int64_t expectedFields) {
  platform::UserInfo info;
  info.add("Number of expected fields per row", expectedFields);
  return {Kind::invalidOperation,
          "A field cannot be added to a row that has already the expected amount of fields. All CSV rows must have "
          "the same amount of fields.",
          "Always write the same amount of fields per row.", std::move(info)};
}

CSVWriterError emptyRowWithoutFieldCount() {
  return {Kind::invalidOperation,
          "An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown.",
          "Write a headers row or a row with content before writing an empty row."};
}

CSVWriterError delimiterWithoutEscaping(std::string field) {
  platform::UserInfo info;
  info.add("Field", std::move(field));
  return {Kind::invalidInput, "A field cannot include a delimiter if escaping strategy is disabled.",
          "Remove delimiter from field or set an escaping strategy.", std::move(info)};
}

CSVWriterError streamNotCreated(const std::filesystem::path& fileURL) {
  platform::UserInfo info;
  info.add("File URL", fileURL.string());
  return {Kind::streamFailure, "The output stream couldn't be initialized with the given URL.",
          "Make sure you have access to the targeted file.", std::move(info)};
}

CSVWriterError appendedEncodingMismatch(const std::filesystem::path& fileURL, const platform::TextEncoding& provided,
                                        const platform::TextEncoding& detected) {
  platform::UserInfo info;
  info.add("File URL", fileURL.string());
  info.add("Provided encoding", provided);
  info.add("Detected encoding", detected);
  return {Kind::invalidConfiguration, "The encoding provided was different than the encoding detected on the file.",
          "Append with the encoding of the existing file.", std::move(info)};
}

CSVWriterError streamNotOpen(const platform::OutputStream& stream) {
  CSVWriterError error{Kind::streamFailure, "The output stream is not open.",
                       "Check you have priviledge to open the output stream.", streamStatus(stream), stream.error()};
  error.namingStream(stream);
  return error;
}

CSVWriterError notASCII(char32_t scalar) {
  platform::UserInfo info;
  info.add("Unicode scalar", scalar);
  return {Kind::invalidInput, "The Unicode Scalar is not an ASCII character.",
          "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. UTF8).",
          std::move(info)};
}

CSVWriterError notShiftJIS(char32_t scalar) {
  platform::UserInfo info;
  info.add("Unicode scalar", scalar);
  return {Kind::invalidInput, "The Unicode Scalar couldn't be encoded to multibyte Shift-JIS",
          "Make sure the CSV only contains Shift-JIS characters.", std::move(info)};
}

CSVWriterError writeFailed(const platform::OutputStream& stream) {
  CSVWriterError error{Kind::streamFailure,
                       "The output stream encountered an error while trying to write encoded bytes",
                       "Review the underlying error and make sure you have access to the output data (if it is a file)",
                       streamStatus(stream), stream.error()};
  error.namingStream(stream);
  return error;
}

CSVWriterError writeAttemptsExhausted(const platform::OutputStream& stream, std::int64_t attempts) {
  platform::UserInfo info = streamStatus(stream);
  info.add("Attempts", attempts);
  CSVWriterError error{Kind::streamFailure,
                       "Several attempts were made to write on the stream, but they were unsuccessful.",
                       "Review the underlying error (if any) and try again.", std::move(info), stream.error()};
  error.namingStream(stream);
  return error;
}

CSVWriterError memoryStreamOpen(const platform::OutputStream& stream) {
  return {Kind::invalidOperation, "The memory stream must be closed before the data can be accessed.",
          "Call endEncoding() before accessing the data. Also remember, that only Data and String initializers can "
          "access memory data.",
          streamStatus(stream), stream.error()};
}

CSVWriterError noMemoryData(const platform::OutputStream& stream) {
  return {Kind::streamFailure, "The stream failed to returned the encoded data.",
          "Call endEncoding() before accessing the data. Also remember, that only Data and String initializers can "
          "access memory data.",
          {}, stream.error()};
}

}  // namespace WriterErrors
}  // namespace RecordCSV
