#pragma once
// Turns the current row of a CSVReader into a typed value through the coding
// interface: the type decodes itself from a decoder whose keyed container finds
// fields by header name (or by position, for keys with an integer) and whose
// single-value container reads the field under the last key. An empty field is no
// value for every type; nested containers are refused, so one row is one flat value.
//
// `decode` reads `currentRow()` and never moves the reader; failures are thrown as
// platform::coding::DecodingError (or whatever a custom strategy throws).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "CSV/CSVReader.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/text/DateFormatter.hpp"

namespace CSV {

class CSVRowDecoder {
 public:
  struct BoolDecoding {
    /// Exactly "true" and "false".
    struct Default {};
    struct Custom {
      std::function<bool(const std::string&)> function;
    };
  };
  using BoolDecodingStrategy = std::variant<BoolDecoding::Default, BoolDecoding::Custom>;

  struct DateDecoding {
    /// The date decodes itself: a Double of seconds since 2001-01-01 00:00:00 UTC.
    struct DeferredToDate {};
    struct SecondsSince1970 {};
    struct MillisecondsSince1970 {};
    /// Internet date-time without a fraction, "Z" or ±hh:mm, years 0001–9999.
    struct ISO8601 {};
    struct Formatted {
      std::shared_ptr<const platform::DateFormatter> formatter;
    };
    struct Custom {
      std::function<platform::Date(const std::string&)> function;
    };
  };
  using DateDecodingStrategy =
      std::variant<DateDecoding::DeferredToDate, DateDecoding::SecondsSince1970, DateDecoding::MillisecondsSince1970,
                   DateDecoding::ISO8601, DateDecoding::Formatted, DateDecoding::Custom>;

  struct DataDecoding {
    /// Standard Base64, nothing else (no white space, no line breaks).
    struct Base64 {};
    struct Custom {
      std::function<platform::Data(const std::string&)> function;
    };
  };
  using DataDecodingStrategy = std::variant<DataDecoding::Base64, DataDecoding::Custom>;

  struct NilDecoding {
    /// The empty text is no value.
    struct Empty {};
    struct Custom {
      std::function<bool(const std::string&)> isNil;
    };
  };
  using NilDecodingStrategy = std::variant<NilDecoding::Empty, NilDecoding::Custom>;

  /// The settings of one call, taken when it starts.
  struct Options {
    BoolDecodingStrategy boolDecodingStrategy;
    DateDecodingStrategy dateDecodingStrategy;
    DataDecodingStrategy dataDecodingStrategy;
    NilDecodingStrategy nilDecodingStrategy;
    platform::coding::UserInfo userInfo;
  };

  BoolDecodingStrategy boolDecodingStrategy = BoolDecoding::Default{};
  DateDecodingStrategy dateDecodingStrategy = DateDecoding::DeferredToDate{};
  DataDecodingStrategy dataDecodingStrategy = DataDecoding::Base64{};
  NilDecodingStrategy nilDecodingStrategy = NilDecoding::Empty{};
  platform::coding::UserInfo userInfo;

  Options options() const {
    return {boolDecodingStrategy, dateDecodingStrategy, dataDecodingStrategy, nilDecodingStrategy, userInfo};
  }

  /// A T decoded from the reader's current row by `T::decode(Decoder&)` (or its `Coding<T>`).
  template <platform::coding::Decodable T>
  T decode(CSVReader& reader) const {
    std::optional<T> value;
    decode(reader, [&value](platform::coding::Decoder& decoder) {
      value.emplace(platform::coding::decodeValue<T>(decoder));
    });
    return std::move(*value);
  }

 private:
  void decode(CSVReader& reader, platform::coding::FunctionRef<void(platform::coding::Decoder&)> body) const;
};

}  // namespace CSV
