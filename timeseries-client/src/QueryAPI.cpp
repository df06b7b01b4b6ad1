#include "TimeSeries/QueryAPI.hpp"

#include "Delivery.hpp"
#include "TimeSeries/Query.hpp"
#include "TimeSeries/TimeSeriesClient.hpp"

namespace TimeSeries {
namespace {

// The parsed forms' outcome: a cursor over a successful answer's bytes.
QueryAPI::CursorOutcome parsed(QueryAPI::RawOutcome raw) {
  if (raw.isFailure()) return QueryAPI::CursorOutcome::failure(std::move(raw).error());
  try {
    return QueryAPI::CursorOutcome::success(std::make_shared<QueryAPI::ResultRecordCursor>(std::move(raw).value()));
  } catch (...) {
    return QueryAPI::CursorOutcome::failure(TimeSeriesError::cause(std::current_exception()));
  }
}

}  // namespace

std::optional<ResultRecord> QueryAPI::ResultRecordCursor::next() { return parser_.nextRecord(); }

Dialect QueryAPI::defaultDialect() {
  static const Dialect dialect(
      true, ",",
      std::vector{Dialect::Annotations::datatype, Dialect::Annotations::group, Dialect::Annotations::_default}, "#",
      Dialect::DateTimeFormat::rfc3339);
  return dialect;
}

void QueryAPI::query(
    std::string query, std::optional<std::string> org, std::optional<Parameters> params,
    std::shared_ptr<platform::Executor> responseQueue,
    std::function<void(std::shared_ptr<ResultRecordCursor>, std::optional<TimeSeriesError>)> completion) {
  this->query(std::move(query), std::move(org), std::move(params), std::move(responseQueue),
              [completion = std::move(completion)](CursorOutcome outcome) {
                if (outcome.isSuccess())
                  completion(std::move(outcome).value(), std::nullopt);
                else
                  completion(nullptr, std::move(outcome).error());
              });
}

void QueryAPI::query(std::string query, std::optional<std::string> org, std::optional<Parameters> params,
                     std::shared_ptr<platform::Executor> responseQueue, std::function<void(CursorOutcome)> completion) {
  queryRaw(std::move(query), std::move(org), defaultDialect(), std::move(params), std::move(responseQueue),
           [completion = std::move(completion)](RawOutcome raw) { completion(parsed(std::move(raw))); });
}

platform::Future<std::shared_ptr<QueryAPI::ResultRecordCursor>, TimeSeriesError> QueryAPI::query(
    std::string query, std::optional<std::string> org, std::optional<Parameters> params,
    std::shared_ptr<platform::Executor> responseQueue) {
  using Publisher = platform::Future<std::shared_ptr<ResultRecordCursor>, TimeSeriesError>;
  return Publisher([&](Publisher::Promise promise) {
    this->query(std::move(query), std::move(org), std::move(params), std::move(responseQueue),
                std::function<void(CursorOutcome)>(std::move(promise)));
  });
}

void QueryAPI::queryRaw(std::string query, std::optional<std::string> org, Dialect dialect,
                        std::optional<Parameters> params, std::shared_ptr<platform::Executor> responseQueue,
                        std::function<void(std::optional<platform::Data>, std::optional<TimeSeriesError>)> completion) {
  queryRaw(std::move(query), std::move(org), std::move(dialect), std::move(params), std::move(responseQueue),
           [completion = std::move(completion)](RawOutcome outcome) {
             if (outcome.isSuccess())
               completion(std::move(outcome).value(), std::nullopt);
             else
               completion(std::nullopt, std::move(outcome).error());
           });
}

void QueryAPI::queryRaw(std::string query, std::optional<std::string> org, Dialect dialect,
                        std::optional<Parameters> params, std::shared_ptr<platform::Executor> responseQueue,
                        std::function<void(RawOutcome)> completion) {
  requireQueue(responseQueue);
  const std::optional<std::string> organization = org ? org : client_.options().org;
  if (!organization) {
    const auto missing =
        std::make_exception_ptr(TimeSeriesError::generic("The organization executing the query  should be specified."));
    deliver(*responseQueue, std::move(completion), RawOutcome::failure(unsent(missing)));
    return;
  }
  std::optional<platform::URLComponents> components = platform::URLComponents::parse(client_.url() + "/api/v2/query");
  if (components) components->setQueryItems(std::vector<platform::URLQueryItem>{{"org", *organization}});
  platform::Data body;
  try {
    body = CodableHelper::jsonEncoder()->encode(
        Query(std::move(query), std::nullopt, std::move(params), std::move(dialect), std::nullopt));
  } catch (...) {
    deliver(*responseQueue, std::move(completion), RawOutcome::failure(unsent(std::current_exception())));
    return;
  }
  client_.httpPost(components, "application/json; charset=utf-8", "text/csv", TimeSeriesClient::Compression::response,
                   std::move(body), std::move(responseQueue),
                   [completion = std::move(completion)](TimeSeriesClient::Outcome outcome) {
                     if (outcome.isFailure())
                       completion(RawOutcome::failure(std::move(outcome).error()));
                     else
                       completion(RawOutcome::success(std::move(outcome).value().value_or(platform::Data())));
                   });
}

platform::Future<platform::Data, TimeSeriesError> QueryAPI::queryRaw(
    std::string query, std::optional<std::string> org, Dialect dialect, std::optional<Parameters> params,
    std::shared_ptr<platform::Executor> responseQueue) {
  using Publisher = platform::Future<platform::Data, TimeSeriesError>;
  return Publisher([&](Publisher::Promise promise) {
    queryRaw(std::move(query), std::move(org), std::move(dialect), std::move(params), std::move(responseQueue),
             std::function<void(RawOutcome)>(std::move(promise)));
  });
}

}  // namespace TimeSeries
