#pragma once
// Reads an input to its end and records what came out: headers, rows and the error, if any;
// and turns test text into the other encodings the reader takes.

#include <algorithm>
#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/UTF8Source.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV::testing {

using Rows = std::vector<std::vector<std::string>>;

/// UTF-8 `text` as UTF-16 big-endian bytes, without a mark.
inline std::string utf16BigEndian(std::string_view text) {
  std::string bytes;
  const auto unit = [&](char32_t value) {
    bytes += static_cast<char>(value >> 8);
    bytes += static_cast<char>(value & 0xFF);
  };
  for (const char32_t scalar : platform::toScalars(text)) {
    if (scalar >= 0x10000) {
      unit(0xD800 + ((scalar - 0x10000) >> 10));
      unit(0xDC00 + ((scalar - 0x10000) & 0x3FF));
    } else {
      unit(scalar);
    }
  }
  return bytes;
}

struct Failure {
  std::int64_t code = 0;
  std::string reason;
  std::string help;
  std::optional<std::int64_t> rowIndex;
  friend bool operator==(const Failure&, const Failure&) = default;
};

inline void PrintTo(const Failure& failure, std::ostream* out) {
  *out << "{" << failure.code << ", \"" << failure.reason << "\", \"" << failure.help << "\", row index "
       << (failure.rowIndex ? std::to_string(*failure.rowIndex) : "none") << "}";
}

struct Outcome {
  std::vector<std::string> headers;
  Rows rows;
  std::optional<Failure> failure;
  bool failedOnCreation = false;
};

/// Hands out `bytes` in blocks of `blockSize`; its end check fails when `endFailure` is set.
class ChoppedBytes final : public ByteSource {
 public:
  ChoppedBytes(std::string bytes, std::size_t blockSize, bool endFailure)
      : bytes_(std::move(bytes)), blockSize_(blockSize), endFailure_(endFailure) {}
  std::span<const std::uint8_t> next() override {
    const std::size_t size = std::min(blockSize_, bytes_.size() - offset_);
    const auto* start = reinterpret_cast<const std::uint8_t*>(bytes_.data()) + offset_;
    offset_ += size;
    return {start, size};
  }
  void onEnd() override {
    ++endChecks;
    if (endFailure_) throw CSVReaderError(CSVReader::Error::streamFailure, "read failed", "check the stream");
  }
  static inline int endChecks = 0;

 private:
  std::string bytes_;
  std::size_t blockSize_;
  std::size_t offset_ = 0;
  bool endFailure_;
};

inline Failure failureOf(const CSVReaderError& error) {
  return {error.code(), error.failureReason().value_or(""), error.helpAnchor().value_or(""),
          error.userInfo().get<std::int64_t>("Row index")};
}

/// Creates a reader with `make` and reads rows until the end or the first failure.
inline Outcome readAll(const std::function<CSVReader()>& make) {
  Outcome outcome;
  std::optional<CSVReader> reader;
  try {
    reader.emplace(make());
  } catch (const CSVReaderError& error) {
    outcome.failure = failureOf(error);
    outcome.failedOnCreation = true;
    return outcome;
  }
  outcome.headers = reader->headers();
  try {
    while (auto row = reader->readRow()) outcome.rows.push_back(std::move(*row));
  } catch (const CSVReaderError& error) {
    outcome.failure = failureOf(error);
  }
  return outcome;
}

inline Outcome readText(const std::string& text, const CSVReader::Configuration& configuration) {
  return readAll([&] { return CSVReader::initWithString(text, configuration); });
}

inline Outcome readBytes(const std::string& bytes, const CSVReader::Configuration& configuration) {
  return readAll([&] { return CSVReader::initWithData(platform::Data::fromString(bytes), configuration); });
}

}  // namespace RecordCSV::testing
