#include "TimeSeries/TimeSeriesError.hpp"

namespace TimeSeries {
namespace {

// A quoted text; bytes that are not UTF-8 (a server may send any in a header) print as U+FFFD.
std::string quoted(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// As a dictionary prints: ["Name": "value", "Other": "value"], or [:] when empty.
std::string headersText(const TimeSeriesError::Headers& headers) {
  if (headers.empty()) return "[:]";
  std::string text = "[";
  for (std::size_t i = 0; i < headers.size(); ++i) {
    if (i) text += ", ";
    text += quoted(headers[i].first) + ": " + quoted(headers[i].second);
  }
  return text + "]";
}

}  // namespace

TimeSeriesError::TimeSeriesError(Kind kind, std::string description)
    : platform::Error("TimeSeries.TimeSeriesError", static_cast<std::int64_t>(kind), std::move(description)),
      kind_(kind) {}

std::string TimeSeriesError::describe(const std::exception_ptr& error) {
  if (!error) return "nil";
  try {
    std::rethrow_exception(error);
  } catch (const platform::Error& caught) {
    return caught.description();
  } catch (const std::exception& caught) {
    return caught.what();
  } catch (...) {
    return "unknown error";
  }
}

TimeSeriesError TimeSeriesError::error(std::int64_t statusCode, std::optional<Headers> headers,
                                       std::optional<nlohmann::ordered_json> body, std::exception_ptr cause) {
  std::string text = "(" + std::to_string(statusCode) + ") Reason: " + describe(cause);
  if (body) text += ", HTTP Body: " + body->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  if (headers) text += ", HTTP Headers: " + headersText(*headers);
  TimeSeriesError made(Kind::error, std::move(text));
  made.statusCode_ = statusCode;
  made.headers_ = std::move(headers);
  made.body_ = std::move(body);
  made.cause_ = std::move(cause);
  return made;
}

TimeSeriesError TimeSeriesError::generic(std::string message) {
  TimeSeriesError made(Kind::generic, message);
  made.message_ = std::move(message);
  return made;
}

TimeSeriesError TimeSeriesError::cause(std::exception_ptr error) {
  TimeSeriesError made(Kind::cause, "Reason: " + describe(error));
  made.cause_ = std::move(error);
  return made;
}

TimeSeriesError TimeSeriesError::queryException(std::int64_t code, std::string message) {
  TimeSeriesError made(Kind::queryException, "(" + std::to_string(code) + ") Reason: " + message);
  made.statusCode_ = code;
  made.message_ = std::move(message);
  return made;
}

}  // namespace TimeSeries
