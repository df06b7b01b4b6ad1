#pragma once
// Reads an input to its end and records what came out: headers, rows and the error, if any.

#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "RecordCSV/CSVReader.hpp"

namespace RecordCSV::testing {

using Rows = std::vector<std::vector<std::string>>;

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
