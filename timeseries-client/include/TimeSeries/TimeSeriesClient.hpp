#pragma once
// The connection to a time-series server: its address, options and HTTP transport, and
// the query and delete interfaces over them. Made only by `make`, held by std::shared_ptr;
// the interfaces it hands out keep it alive. Every outcome of `httpPost` arrives once,
// later, on the response queue given; destroying the client cancels what is in flight.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "TimeSeries/DeleteAPI.hpp"
#include "TimeSeries/QueryAPI.hpp"
#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/concurrency/Executor.hpp"
#include "platform/core/Data.hpp"
#include "platform/core/Result.hpp"
#include "platform/net/HTTPTransport.hpp"
#include "platform/net/URLComponents.hpp"

namespace TimeSeries {

struct TimeSeriesOptions {
  /// The organisation of queries that name none.
  std::optional<std::string> org;
  /// Whether request bodies that may be compressed are gzipped.
  bool enableGzip = false;
  /// How long connecting, or a pause in the answer, may last.
  std::chrono::milliseconds timeout = std::chrono::seconds(60);
};

class TimeSeriesClient : public std::enable_shared_from_this<TimeSeriesClient> {
  struct Passkey {};

 public:
  using TimeSeriesOptions = TimeSeries::TimeSeriesOptions;

  /// What `httpPost` compresses: only `request` gzips the body, and only with `enableGzip`.
  enum class Compression { request, response, none };

  using Outcome = platform::Result<std::optional<platform::Data>, TimeSeriesError>;
  using Completion = std::function<void(Outcome)>;

  /// `additionalHeaders` go after the request's own, in order (authorisation, user agent).
  /// One trailing "/" of `url` is dropped. Without a transport, the client makes its own.
  static std::shared_ptr<TimeSeriesClient> make(std::string url, TimeSeriesOptions options = {},
                                                platform::HTTPHeaderFields additionalHeaders = {},
                                                std::shared_ptr<platform::HTTPTransport> transport = nullptr);
  TimeSeriesClient(Passkey, std::string url, TimeSeriesOptions options, platform::HTTPHeaderFields additionalHeaders,
                   std::shared_ptr<platform::HTTPTransport> transport);
  TimeSeriesClient(const TimeSeriesClient&) = delete;
  TimeSeriesClient& operator=(const TimeSeriesClient&) = delete;

  const std::string& url() const noexcept { return url_; }
  const TimeSeriesOptions& options() const noexcept { return options_; }
  const platform::HTTPHeaderFields& additionalHeaders() const noexcept { return additionalHeaders_; }

  /// The same object every time.
  std::shared_ptr<QueryAPI> queryAPI();
  /// The same object every time.
  std::shared_ptr<DeleteAPI> deleteAPI();

  /// POSTs the body to the address; components that give no http or https URL with a
  /// host fail with status -1 and send nothing. Never throws.
  void httpPost(const std::optional<platform::URLComponents>& components, const std::string& contentType,
                const std::string& accept, Compression compression, platform::Data body,
                std::shared_ptr<platform::Executor> responseQueue, Completion completion) const;
  /// The outcome of one reply: the body of a 2xx response, or the failure.
  static Outcome checkResponse(platform::HTTPReply reply);

 private:
  std::string url_;
  TimeSeriesOptions options_;
  platform::HTTPHeaderFields additionalHeaders_;
  std::shared_ptr<platform::HTTPTransport> transport_;
  QueryAPI queryAPI_;
  DeleteAPI deleteAPI_;
};

}  // namespace TimeSeries
