#pragma once
// One builder per failure message of the writer.

#include <cstdint>
#include <filesystem>
#include <string>

#include "RecordCSV/CSVWriter.hpp"
#include "platform/io/OutputStream.hpp"

namespace RecordCSV::WriterErrors {

CSVWriterError invalidDelimiters();
CSVWriterError unsupportedEncoding(const platform::TextEncoding& encoding);
CSVWriterError fieldOverflow(std::int64_t expectedFields);
CSVWriterError emptyRowWithoutFieldCount();
CSVWriterError delimiterWithoutEscaping(std::string field);
CSVWriterError streamNotCreated(const std::filesystem::path& fileURL);
CSVWriterError appendedEncodingMismatch(const std::filesystem::path& fileURL, const platform::TextEncoding& provided,
                                        const platform::TextEncoding& detected);
CSVWriterError streamNotOpen(const platform::OutputStream& stream);
CSVWriterError notASCII(char32_t scalar);
CSVWriterError notShiftJIS(char32_t scalar);
CSVWriterError writeFailed(const platform::OutputStream& stream);
CSVWriterError writeAttemptsExhausted(const platform::OutputStream& stream, std::int64_t attempts);
CSVWriterError memoryStreamOpen(const platform::OutputStream& stream);
CSVWriterError noMemoryData(const platform::OutputStream& stream);

}  // namespace RecordCSV::WriterErrors
