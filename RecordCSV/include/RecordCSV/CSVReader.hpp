#pragma once
// The streaming CSV reader.

#include <cstdint>
#include <optional>
#include <string_view>

#include "RecordCSV/CSVError.hpp"
#include "RecordCSV/Delimiter.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/CharacterSet.hpp"
#include "platform/TextEncoding.hpp"

namespace RecordCSV {

class CSVReader {
 public:
  /// The caller's description of the dialect to read.
  struct Configuration {
    struct Delimiters {
      Delimiter::Field field{","};
      Delimiter::Row row{"\n"};
      friend bool operator==(const Delimiters&, const Delimiters&) = default;
    };

    /// The input's encoding; inferred from the byte-order mark when absent.
    std::optional<platform::TextEncoding> encoding;
    Delimiters delimiters;
    Strategy::Escaping escapingStrategy = Strategy::Escaping::standard();
    Strategy::Header headerStrategy = Strategy::Header::none();
    /// Skipped at the start of fields, removed from the end of unescaped ones.
    platform::CharacterSet trimStrategy;
    /// Take byte input whole before parsing.
    bool presample = false;

    friend bool operator==(const Configuration&, const Configuration&) = default;
  };

  /// The reader's failure kinds; the raw values are the error codes.
  enum class Error : std::int64_t { invalidConfiguration = 1, invalidInput = 2, streamFailure = 4 };
  using Failure = Error;
  static constexpr std::string_view errorDomain = "Reader";
  static constexpr std::string_view typeName = "CSVReader";
  static std::string_view errorDescription(Error failure);
};

using CSVReaderError = CSVError<CSVReader>;

}  // namespace RecordCSV
