#include "CSV/CSVError.hpp"

#include <string>

namespace CSV {
namespace {

platform::Error::Details details(std::exception_ptr underlyingError) {
  platform::Error::Details details;
  details.underlyingError = std::move(underlyingError);
  return details;
}

}  // namespace

CSVError::CSVError(Kind kind, std::exception_ptr streamError)
    : platform::Error("CSV.CSVError", static_cast<std::int64_t>(kind), std::string(name(kind)),
                      details(std::move(streamError))),
      kind_(kind) {}

CSVError CSVError::streamErrorHasOccurred(std::exception_ptr streamError) {
  return CSVError(Kind::streamErrorHasOccurred, std::move(streamError));
}

std::string_view CSVError::name(Kind kind) {
  switch (kind) {
    case Kind::streamErrorHasOccurred: return "streamErrorHasOccurred";
    case Kind::cannotOpenFile: return "cannotOpenFile";
    case Kind::cannotReadFile: return "cannotReadFile";
    case Kind::cannotWriteStream: return "cannotWriteStream";
    case Kind::unicodeDecoding: return "unicodeDecoding";
    case Kind::cannotReadHeaderRow: return "cannotReadHeaderRow";
    case Kind::stringEncodingMismatch: return "stringEncodingMismatch";
    case Kind::stringEndianMismatch: return "stringEndianMismatch";
  }
  return "unknown";
}

}  // namespace CSV
