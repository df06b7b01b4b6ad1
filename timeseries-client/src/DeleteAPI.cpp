#include "TimeSeries/DeleteAPI.hpp"

#include "Delivery.hpp"
#include "TimeSeries/APIHelper.hpp"
#include "TimeSeries/TimeSeriesClient.hpp"

namespace TimeSeries {

void DeleteAPI::deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                             std::optional<std::string> bucketID, std::optional<std::string> org,
                             std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                             PairCompletion completion) {
  sendDelete(predicate, std::move(bucket), std::move(bucketID), std::move(org), std::move(orgID),
             std::move(responseQueue), [completion = std::move(completion)](Outcome outcome) {
               if (outcome.isSuccess())
                 completion(std::monostate(), std::nullopt);
               else
                 completion(std::nullopt, std::move(outcome).error());
             });
}

void DeleteAPI::deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                             std::optional<std::string> bucketID, std::optional<std::string> org,
                             std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                             Completion completion) {
  sendDelete(predicate, std::move(bucket), std::move(bucketID), std::move(org), std::move(orgID),
             std::move(responseQueue), std::move(completion));
}

DeleteAPI::Publisher DeleteAPI::deletePoints(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                                             std::optional<std::string> bucketID, std::optional<std::string> org,
                                             std::optional<std::string> orgID,
                                             std::shared_ptr<platform::Executor> responseQueue) {
  return Publisher([&](Publisher::Promise promise) {
    sendDelete(predicate, std::move(bucket), std::move(bucketID), std::move(org), std::move(orgID),
               std::move(responseQueue), std::move(promise));
  });
}

void DeleteAPI::sendDelete(const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                           std::optional<std::string> bucketID, std::optional<std::string> org,
                           std::optional<std::string> orgID, std::shared_ptr<platform::Executor> responseQueue,
                           Completion completion) {
  requireQueue(responseQueue);
  std::optional<platform::URLComponents> components = platform::URLComponents::parse(client_.url() + "/api/v2/delete");
  if (components) {
    auto named = [](std::optional<std::string> value) -> std::optional<APIHelper::Value> {
      if (!value) return std::nullopt;
      return APIHelper::Scalar(std::move(*value));
    };
    components->setQueryItems(APIHelper::queryItemsFromValues({{"org", named(std::move(org))},
                                                               {"bucket", named(std::move(bucket))},
                                                               {"orgID", named(std::move(orgID))},
                                                               {"bucketID", named(std::move(bucketID))}}));
  }
  platform::Data body;
  try {
    body = CodableHelper::jsonEncoder()->encode(predicate);
  } catch (...) {
    deliver(*responseQueue, std::move(completion), Outcome::failure(unsent(std::current_exception())));
    return;
  }
  client_.httpPost(components, "text/plain; charset=utf-8", "application/json", TimeSeriesClient::Compression::none,
                   std::move(body), std::move(responseQueue),
                   [completion = std::move(completion)](TimeSeriesClient::Outcome outcome) {
                     if (outcome.isSuccess())
                       completion(Outcome::success());
                     else
                       completion(Outcome::failure(std::move(outcome).error()));
                   });
}

}  // namespace TimeSeries
