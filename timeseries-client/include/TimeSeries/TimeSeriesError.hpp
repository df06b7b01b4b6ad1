#pragma once
// The time-series client's one error: a failed request (`error`, with the HTTP status or
// -1 and -2 for transport and reply failures, or 415 for a failure found before sending),
// a plain message (`generic`), another error wrapped (`cause`), or the server's error
// table in a query answer (`queryException`). Copies share the wrapped error.

#include <cstdint>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Error.hpp"

namespace TimeSeries {

class TimeSeriesError : public platform::Error {
 public:
  enum class Kind { error, generic, cause, queryException };
  using Headers = std::vector<std::pair<std::string, std::string>>;

  static TimeSeriesError error(std::int64_t statusCode, std::optional<Headers> headers,
                               std::optional<nlohmann::ordered_json> body, std::exception_ptr cause);
  static TimeSeriesError generic(std::string message);
  static TimeSeriesError cause(std::exception_ptr error);
  static TimeSeriesError queryException(std::int64_t code, std::string message);

  Kind kind() const noexcept { return kind_; }
  /// `error`'s status code, `queryException`'s code; 0 otherwise.
  std::int64_t statusCode() const noexcept { return statusCode_; }
  /// `error`'s header fields, in the order they arrived.
  const std::optional<Headers>& headers() const noexcept { return headers_; }
  /// `error`'s body, when the server sent a JSON object.
  const std::optional<nlohmann::ordered_json>& body() const noexcept { return body_; }
  /// The wrapped error of `error` and `cause`.
  const std::exception_ptr& causeError() const noexcept { return cause_; }
  /// `generic`'s and `queryException`'s message.
  const std::string& message() const noexcept { return message_; }

  /// The description of any error: a platform error's `description()`, else its `what()`.
  static std::string describe(const std::exception_ptr& error);

 private:
  TimeSeriesError(Kind kind, std::string description);

  Kind kind_;
  std::int64_t statusCode_ = 0;
  std::optional<Headers> headers_;
  std::optional<nlohmann::ordered_json> body_;
  std::exception_ptr cause_;
  std::string message_;
};

}  // namespace TimeSeries
