#pragma once
// The one error type of the CSV module's byte input, reader and writer. Distinct
// from RecordCSV's error: its cases carry no texts, only their name as description.

#include <cstdint>
#include <exception>
#include <string_view>

#include "platform/core/Error.hpp"

namespace CSV {

class CSVError : public platform::Error {
 public:
  /// The cases; the raw value is the error code.
  enum class Kind : std::int64_t {
    streamErrorHasOccurred,
    cannotOpenFile,
    cannotReadFile,
    cannotWriteStream,
    unicodeDecoding,
    cannotReadHeaderRow,
    stringEncodingMismatch,
    stringEndianMismatch,
  };

  /// A read failed and the stream named this error, kept as the underlying error.
  static CSVError streamErrorHasOccurred(std::exception_ptr streamError);
  static CSVError cannotOpenFile() { return CSVError(Kind::cannotOpenFile); }
  static CSVError cannotReadFile() { return CSVError(Kind::cannotReadFile); }
  static CSVError cannotWriteStream() { return CSVError(Kind::cannotWriteStream); }
  static CSVError unicodeDecoding() { return CSVError(Kind::unicodeDecoding); }
  static CSVError cannotReadHeaderRow() { return CSVError(Kind::cannotReadHeaderRow); }
  static CSVError stringEncodingMismatch() { return CSVError(Kind::stringEncodingMismatch); }
  static CSVError stringEndianMismatch() { return CSVError(Kind::stringEndianMismatch); }

  Kind kind() const noexcept { return kind_; }
  /// The stream's error of `streamErrorHasOccurred`; null for the other cases.
  const std::exception_ptr& streamError() const noexcept { return underlyingError(); }

  static std::string_view name(Kind kind);

  /// Same case; a stream error compares by identity.
  friend bool operator==(const CSVError& a, const CSVError& b) {
    return a.kind_ == b.kind_ && a.streamError() == b.streamError();
  }

 private:
  explicit CSVError(Kind kind, std::exception_ptr streamError = nullptr);

  Kind kind_;
};

}  // namespace CSV
