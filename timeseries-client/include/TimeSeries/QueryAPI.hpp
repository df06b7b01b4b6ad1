#pragma once
// Runs queries: the answer comes back parsed, as a cursor of records read one row per pull,
// or raw, as the annotated CSV bytes. Each form has three deliveries over one request; each
// call's outcome arrives exactly once, on the response queue, never inside the call (also
// a failure found before sending: 415). Obtained from TimeSeriesClient::queryAPI(), whose
// client it keeps alive.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "TimeSeries/AnnotatedCSVParser.hpp"
#include "TimeSeries/Cursor.hpp"
#include "TimeSeries/Dialect.hpp"
#include "TimeSeries/QueryResults.hpp"
#include "TimeSeries/TimeSeriesError.hpp"
#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/OneShot.hpp"
#include "platform/core/Data.hpp"
#include "platform/core/Result.hpp"

namespace TimeSeries {

class TimeSeriesClient;

class QueryAPI {
 public:
  using ResultColumn = TimeSeries::ResultColumn;
  using ResultTable = TimeSeries::ResultTable;
  using ResultRecord = TimeSeries::ResultRecord;

  /// The records of one answer, parsed as they are pulled; failures of the answer are
  /// thrown by `next` as TimeSeriesError.
  class ResultRecordCursor final : public Cursor<ResultRecord> {
   public:
    /// Throws the CSV reader's construction error.
    explicit ResultRecordCursor(platform::Data data) : parser_(std::move(data)) {}
    std::optional<ResultRecord> next() override;

   private:
    AnnotatedCSVParser parser_;
  };

  using Parameters = std::map<std::string, std::string>;
  using CursorOutcome = platform::Result<std::shared_ptr<ResultRecordCursor>, TimeSeriesError>;
  using RawOutcome = platform::Result<platform::Data, TimeSeriesError>;

  /// A copy of the dialect the parsed forms ask for: header, ",", the datatype, group and
  /// default annotations, "#" comments and RFC 3339 dates.
  static Dialect defaultDialect();

  explicit QueryAPI(TimeSeriesClient& client) : client_(client) {}
  virtual ~QueryAPI() = default;
  QueryAPI(const QueryAPI&) = delete;
  QueryAPI& operator=(const QueryAPI&) = delete;

  /// A cursor, or null and the error.
  virtual void query(
      std::string query, std::optional<std::string> org, std::optional<Parameters> params,
      std::shared_ptr<platform::Executor> responseQueue,
      std::function<void(std::shared_ptr<ResultRecordCursor>, std::optional<TimeSeriesError>)> completion);
  virtual void query(std::string query, std::optional<std::string> org, std::optional<Parameters> params,
                     std::shared_ptr<platform::Executor> responseQueue, std::function<void(CursorOutcome)> completion);
  /// Sends at once, whether or not anything subscribes.
  virtual platform::Future<std::shared_ptr<ResultRecordCursor>, TimeSeriesError> query(
      std::string query, std::optional<std::string> org, std::optional<Parameters> params,
      std::shared_ptr<platform::Executor> responseQueue);

  /// The bytes, or nothing and the error.
  virtual void queryRaw(std::string query, std::optional<std::string> org, Dialect dialect,
                        std::optional<Parameters> params, std::shared_ptr<platform::Executor> responseQueue,
                        std::function<void(std::optional<platform::Data>, std::optional<TimeSeriesError>)> completion);
  /// The request itself: POSTs the query to "/api/v2/query?org=…"; a missing organisation
  /// (no `org` and no options.org) or a body that cannot be encoded fails with 415.
  virtual void queryRaw(std::string query, std::optional<std::string> org, Dialect dialect,
                        std::optional<Parameters> params, std::shared_ptr<platform::Executor> responseQueue,
                        std::function<void(RawOutcome)> completion);
  /// Sends at once, whether or not anything subscribes.
  virtual platform::Future<platform::Data, TimeSeriesError> queryRaw(std::string query, std::optional<std::string> org,
                                                                     Dialect dialect, std::optional<Parameters> params,
                                                                     std::shared_ptr<platform::Executor> responseQueue);

 private:
  TimeSeriesClient& client_;
};

}  // namespace TimeSeries
