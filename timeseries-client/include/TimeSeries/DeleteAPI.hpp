#pragma once
// Deletes the points of one bucket in a time range, optionally matching a predicate. The
// three deliveries share `sendDelete`; each call's outcome arrives exactly once, on the
// response queue, never inside the call (also a failure found before sending: 415).
// Obtained from TimeSeriesClient::deleteAPI(), whose client it keeps alive.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "TimeSeries/DeletePredicateRequest.hpp"
#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/OneShot.hpp"
#include "platform/core/Result.hpp"

namespace TimeSeries {

class TimeSeriesClient;

class DeleteAPI {
 public:
  using Outcome = platform::Result<void, TimeSeriesError>;
  using Completion = std::function<void(Outcome)>;
  /// An empty value on success, or the error.
  using PairCompletion = std::function<void(std::optional<std::monostate>, std::optional<TimeSeriesError>)>;
  using Publisher = platform::Future<void, TimeSeriesError>;

  explicit DeleteAPI(TimeSeriesClient& client) : client_(client) {}
  virtual ~DeleteAPI() = default;
  DeleteAPI(const DeleteAPI&) = delete;
  DeleteAPI& operator=(const DeleteAPI&) = delete;

  virtual void deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                            std::optional<std::string> bucketID, std::optional<std::string> org,
                            std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                            PairCompletion completion);
  virtual void deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                            std::optional<std::string> bucketID, std::optional<std::string> org,
                            std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                            Completion completion);
  /// Sends at once, whether or not anything subscribes.
  virtual Publisher deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                                 std::optional<std::string> bucketID, std::optional<std::string> org,
                                 std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue);
  /// POSTs the predicate to "/api/v2/delete" with the names as query items (org, bucket,
  /// orgID, bucketID; absent ones left out).
  virtual void sendDelete(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                          std::optional<std::string> bucketID, std::optional<std::string> org,
                          std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                          Completion completion);

 private:
  TimeSeriesClient& client_;
};

}  // namespace TimeSeries
