#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <thread>

#include "TimeSeries/TimeSeriesClient.hpp"
#include "platform/coding/CodingError.hpp"
#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/net/testing/LoopbackHTTPServer.hpp"

namespace TimeSeries {
namespace {

using platform::testing::LoopbackHTTPServer;
using Json = nlohmann::ordered_json;
using Outcome = DeleteAPI::Outcome;

const platform::Date noon = platform::Date::fromTimeIntervalSince1970(1714564800);  // 2024-05-01 12:00 UTC

struct DeleteAPITest : ::testing::Test {
  LoopbackHTTPServer server;
  std::shared_ptr<platform::DispatchQueue> queue = std::make_shared<platform::DispatchQueue>("TimeSeries.delete");
  std::shared_ptr<TimeSeriesClient> client =
      TimeSeriesClient::make(server.url("/"), {}, {{"Authorization", "Token t"}});
  std::shared_ptr<DeleteAPI> api = client->deleteAPI();

  DeleteAPITest() {
    server.script("/api/v2/delete", {204, "", ""});
    server.script("/bad/api/v2/delete", {400, R"({"code":"invalid","message":"bad predicate"})", "application/json"});
  }

  // The result form, waited for; checks that it arrives on the queue.
  Outcome remove(DeleteAPI& deletes, const DeletePredicateRequest& predicate, std::optional<std::string> bucket,
                 std::optional<std::string> bucketID, std::optional<std::string> org,
                 std::optional<std::string> orgID) {
    std::promise<Outcome> done;
    const auto caller = std::this_thread::get_id();
    deletes.deletePoints(predicate, bucket, bucketID, org, orgID, queue, [&, caller](Outcome outcome) {
      EXPECT_TRUE(queue->isCurrent());
      EXPECT_NE(std::this_thread::get_id(), caller);
      done.set_value(std::move(outcome));
    });
    return done.get_future().get();
  }
};

TEST_F(DeleteAPITest, QueryItemsAndBody) {
  struct Case {
    std::optional<std::string> bucket, bucketID, org, orgID;
    const char* target;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, "/api/v2/delete"},
      {"b", std::nullopt, "o", std::nullopt, "/api/v2/delete?org=o&bucket=b"},
      {"a&bucket=prod", "0f1", "C++", "07a",
       "/api/v2/delete?org=C%2B%2B&bucket=a%26bucket%3Dprod&orgID=07a&bucketID=0f1"},
      {"", std::nullopt, std::nullopt, std::nullopt, "/api/v2/delete?bucket="},
  };
  const DeletePredicateRequest predicate(noon, platform::Date{noon.timeIntervalSinceReferenceDate + 3600},
                                         "_measurement=\"cpu\"");
  for (const Case& c : cases) {
    ASSERT_TRUE(remove(*api, predicate, c.bucket, c.bucketID, c.org, c.orgID).isSuccess()) << c.target;
    const auto request = server.requests().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, c.target);
    EXPECT_EQ(request.header("Content-Type"), "text/plain; charset=utf-8");
    EXPECT_EQ(request.header("Accept"), "application/json");
    EXPECT_EQ(request.header("Content-Encoding"), "identity");
    EXPECT_EQ(request.header("Authorization"), "Token t");
    EXPECT_EQ(Json::parse(request.body),
              Json::parse(R"({"start":"2024-05-01T12:00:00.000000000Z","stop":"2024-05-01T13:00:00.000000000Z",)"
                          R"("predicate":"_measurement=\"cpu\""})"));
  }
  ASSERT_TRUE(
      remove(*api, DeletePredicateRequest(noon, noon), "b", std::nullopt, std::nullopt, std::nullopt).isSuccess());
  EXPECT_EQ(Json::parse(server.requests().back().body).dump(),
            R"({"start":"2024-05-01T12:00:00.000000000Z","stop":"2024-05-01T12:00:00.000000000Z"})");
  EXPECT_EQ(server.requests().back().queryItems, (platform::testing::HeaderPairs{{"bucket", "b"}}));

  // The very end of 9999 is a date too, though it rounds past what can be written.
  const platform::Date lastMoment = platform::Date::fromTimeIntervalSince1970(253402300799.9996);
  ASSERT_TRUE(remove(*api, DeletePredicateRequest(noon, lastMoment), "b", {}, {}, {}).isSuccess());
  EXPECT_EQ(Json::parse(server.requests().back().body).at("stop"), "9999-12-31T23:59:59.999000000Z");
}

TEST_F(DeleteAPITest, FailuresOfEveryKind) {
  // The server's refusal.
  auto elsewhere = TimeSeriesClient::make(server.url("/bad"));
  Outcome refused = remove(*elsewhere->deleteAPI(), DeletePredicateRequest(noon, noon), "b", {}, {}, {});
  ASSERT_TRUE(refused.isFailure());
  EXPECT_EQ(refused.error().statusCode(), 400);
  EXPECT_EQ(refused.error().body()->at("message"), "bad predicate");

  // A date that cannot be written: 415, found before anything is sent.
  const std::size_t before = server.requests().size();
  Outcome unwritable = remove(
      *api, DeletePredicateRequest(platform::Date{std::numeric_limits<double>::infinity()}, noon), "b", {}, {}, {});
  ASSERT_TRUE(unwritable.isFailure());
  EXPECT_EQ(unwritable.error().statusCode(), 415);
  EXPECT_FALSE(unwritable.error().headers());
  EXPECT_THROW(std::rethrow_exception(unwritable.error().causeError()), platform::coding::EncodingError);
  // A predicate that is not UTF-8 has no JSON form: the same failure.
  Outcome notText = remove(*api, DeletePredicateRequest(noon, noon, "tag=\"caf\xE9\""), "b", {}, {}, {});
  ASSERT_TRUE(notText.isFailure());
  EXPECT_EQ(notText.error().statusCode(), 415);
  EXPECT_STREQ(notText.error().what(), "(415) Reason: A text of the value is not valid UTF-8.");
  EXPECT_THROW(std::rethrow_exception(notText.error().causeError()), platform::coding::EncodingError);
  EXPECT_EQ(server.requests().size(), before);

  // An address that does not parse.
  auto nowhere = TimeSeriesClient::make("http://exa mple.com");
  Outcome invalid = remove(*nowhere->deleteAPI(), DeletePredicateRequest(noon, noon), "b", {}, {}, {});
  ASSERT_TRUE(invalid.isFailure());
  EXPECT_STREQ(invalid.error().what(), "(-1) Reason: Invalid URL");
}

TEST_F(DeleteAPITest, TheOtherDeliveries) {
  std::promise<std::pair<bool, bool>> pair;
  api->deletePoints(DeletePredicateRequest(noon, noon), "b", std::nullopt, std::nullopt, std::nullopt, queue,
                    [&](std::optional<std::monostate> value, std::optional<TimeSeriesError> error) {
                      pair.set_value({value.has_value(), error.has_value()});
                    });
  EXPECT_EQ(pair.get_future().get(), std::make_pair(true, false));

  // The publisher sends at once, and a subscriber after the outcome still gets it.
  DeleteAPI::Publisher publisher =
      api->deletePoints(DeletePredicateRequest(noon, noon), "b", std::nullopt, std::nullopt, std::nullopt, queue);
  std::promise<void> arrived;
  platform::AnyCancellable first = publisher.sink(nullptr, [&](const auto&) { arrived.set_value(); });
  arrived.get_future().wait();
  EXPECT_EQ(server.requests().size(), 2u);
  std::string calls;
  platform::AnyCancellable subscription = publisher.sink([&] { calls += "value "; },
                                                         [&](const platform::Completion<TimeSeriesError>& completion) {
                                                           calls += completion.isFinished() ? "finished" : "failed";
                                                         });
  EXPECT_EQ(calls, "value finished");
}

TEST_F(DeleteAPITest, TheInterfaceIsMadeOnceAndKeepsItsClient) {
  EXPECT_EQ(client->deleteAPI().get(), api.get());
  std::weak_ptr<TimeSeriesClient> weak = client;
  client.reset();
  EXPECT_FALSE(weak.expired());
  ASSERT_TRUE(remove(*api, DeletePredicateRequest(noon, noon), "b", {}, {}, {}).isSuccess());
  api.reset();
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace TimeSeries
