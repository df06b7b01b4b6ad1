#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "TimeSeries/CursorOperations.hpp"
#include "TimeSeries/TimeSeriesClient.hpp"
#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/net/testing/Gzip.hpp"
#include "platform/net/testing/LoopbackHTTPServer.hpp"

namespace TimeSeries {
namespace {

using platform::testing::LoopbackHTTPServer;
using Json = nlohmann::ordered_json;
using CursorOutcome = QueryAPI::CursorOutcome;
using RawOutcome = QueryAPI::RawOutcome;

const std::string answer =
    "#datatype,string,long,dateTime:RFC3339,double\r\n"
    "#group,false,false,false,false\r\n"
    "#default,_result,,,\r\n"
    ",result,table,_time,_value\r\n"
    ",,0,2024-05-01T12:00:00Z,1.5\r\n"
    ",,0,2024-05-01T12:01:00Z,2\r\n";
const std::string errorAnswer =
    "#datatype,string,long\r\n#group,true,true\r\n#default,,\r\n,error,reference\r\n,failed to execute query,897\r\n";

// No server here falls silent, so the idle time-out only guards against a hang: a loaded
// machine under the sanitizers may pause a 64 MiB answer for seconds.
constexpr std::chrono::minutes idleBound{2};

struct QueryAPITest : ::testing::Test {
  LoopbackHTTPServer server;
  std::shared_ptr<platform::DispatchQueue> queue = std::make_shared<platform::DispatchQueue>("TimeSeries.query");
  std::shared_ptr<TimeSeriesClient> client = TimeSeriesClient::make(server.url(), {"my-org", false, idleBound});
  std::shared_ptr<QueryAPI> api = client->queryAPI();

  template <typename Outcome, typename Start>
  Outcome waitFor(Start start) {
    std::promise<Outcome> done;
    const auto caller = std::this_thread::get_id();
    start([&, caller](Outcome outcome) {
      EXPECT_TRUE(queue->isCurrent());
      EXPECT_NE(std::this_thread::get_id(), caller);
      done.set_value(std::move(outcome));
    });
    return done.get_future().get();
  }
  CursorOutcome query(QueryAPI& queries, std::optional<std::string> org,
                      std::optional<QueryAPI::Parameters> params = std::nullopt) {
    return waitFor<CursorOutcome>([&](auto completion) {
      queries.query("from(bucket: \"b\")", org, params, queue, std::function<void(CursorOutcome)>(completion));
    });
  }
  RawOutcome raw(std::optional<std::string> org, Dialect dialect = Dialect()) {
    return waitFor<RawOutcome>([&](auto completion) {
      api->queryRaw("q", org, dialect, std::nullopt, queue, std::function<void(RawOutcome)>(completion));
    });
  }
};

TEST_F(QueryAPITest, RecordsComeThroughTheCursor) {
  server.script("/api/v2/query", {200, answer, "text/csv"});
  CursorOutcome outcome = query(*api, "other org", QueryAPI::Parameters{{"bucket", "b"}});
  ASSERT_TRUE(outcome.isSuccess()) << outcome.error().what();
  const auto records = collectArray(outcome.value());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(*records[1].value("_value"), ResultRecord::Value(2.0));
  EXPECT_EQ(*records[0].value("result"), ResultRecord::Value(std::string("_result")));

  const auto request = server.requests().back();
  EXPECT_EQ(request.target, "/api/v2/query?org=other%20org");
  EXPECT_EQ(request.header("Content-Type"), "application/json; charset=utf-8");
  EXPECT_EQ(request.header("Accept"), "text/csv");
  EXPECT_EQ(request.header("Content-Encoding"), "identity");
  EXPECT_EQ(Json::parse(request.body),
            Json::parse(R"x({"query":"from(bucket: \"b\")","params":{"bucket":"b"},"dialect":{"header":true,)x"
                        R"("delimiter":",","annotations":["datatype","group","default"],"commentPrefix":"#",)"
                        R"("dateTimeFormat":"RFC3339"}})"));
}

TEST_F(QueryAPITest, TheOrganisation) {
  server.script("/api/v2/query", {200, "", "text/csv"});
  ASSERT_TRUE(query(*api, std::nullopt).isSuccess());
  EXPECT_EQ(server.requests().back().target, "/api/v2/query?org=my-org");
  ASSERT_TRUE(query(*api, "").isSuccess());
  EXPECT_EQ(server.requests().back().target, "/api/v2/query?org=");
  EXPECT_FALSE(Json::parse(server.requests().back().body).contains("params"));

  auto anonymous = TimeSeriesClient::make(server.url());
  const std::size_t before = server.requests().size();
  CursorOutcome missing = query(*anonymous->queryAPI(), std::nullopt);
  ASSERT_TRUE(missing.isFailure());
  EXPECT_EQ(missing.error().statusCode(), 415);
  EXPECT_STREQ(missing.error().what(), "(415) Reason: The organization executing the query  should be specified.");
  EXPECT_EQ(server.requests().size(), before);
}

TEST_F(QueryAPITest, AnswersOfEveryKind) {
  using platform::testing::ScriptedReply;
  const std::string html = "<html><body>Hello, world</body></html>";
  const std::string notFound = R"({"code":"not found","message":"bucket not found"})";
  struct Case {
    const char* name;
    ScriptedReply reply;
    bool delivered;   // whether both forms succeed
    std::string raw;  // the raw form's bytes
    std::size_t records;
    const char* failure;  // of the delivery, or else of the cursor's first pull
  };
  const Case cases[] = {
      {"no body", {204, "", ""}, true, "", 0, nullptr},
      {"gzipped",
       {200, platform::testing::gzipped(answer), "text/csv", {{"Content-Encoding", "gzip"}}},
       true,
       answer,
       2,
       nullptr},
      {"error table", {200, errorAnswer, "text/csv"}, true, errorAnswer, 0, "(897) Reason: failed to execute query"},
      {"the wrong content type",
       {200, html, "text/html"},
       true,
       html,
       0,
       "Unable to parse CSV response. ResultTable definition was not found."},
      {"not found",
       {404, notFound, "application/json"},
       false,
       "",
       0,
       R"((404) Reason: Unsuccessful HTTP StatusCode, HTTP Body: {"code":"not found","message":"bucket not found"}, HTTP Headers: )"},
  };
  for (const Case& c : cases) {
    LoopbackHTTPServer single;
    single.script("/api/v2/query", c.reply);
    auto one = TimeSeriesClient::make(single.url(), {"o", false, idleBound});
    RawOutcome rawOutcome = waitFor<RawOutcome>([&](auto completion) {
      one->queryAPI()->queryRaw("q", std::nullopt, QueryAPI::defaultDialect(), std::nullopt, queue,
                                std::function<void(RawOutcome)>(completion));
    });
    CursorOutcome parsed = query(*one->queryAPI(), std::nullopt);
    ASSERT_EQ(rawOutcome.isSuccess(), c.delivered) << c.name;
    ASSERT_EQ(parsed.isSuccess(), c.delivered) << c.name;
    if (!c.delivered) {
      EXPECT_TRUE(std::string(rawOutcome.error().what()).starts_with(c.failure)) << rawOutcome.error().what();
      EXPECT_TRUE(std::string(parsed.error().what()).starts_with(c.failure)) << parsed.error().what();
      continue;
    }
    EXPECT_EQ(rawOutcome.value().view(), c.raw) << c.name;
    if (c.failure) {
      try {
        parsed.value()->next();
        ADD_FAILURE() << c.name << ": the first pull did not fail";
      } catch (const TimeSeriesError& error) {
        EXPECT_STREQ(error.what(), c.failure);
      }
    } else {
      EXPECT_EQ(collectArray(parsed.value()).size(), c.records) << c.name;
    }
  }
}

TEST_F(QueryAPITest, TheOtherDeliveries) {
  server.script("/api/v2/query", {200, answer, "text/csv"});
  std::promise<std::pair<bool, bool>> pair;
  api->query("q", std::nullopt, std::nullopt, queue,
             [&](std::shared_ptr<QueryAPI::ResultRecordCursor> cursor, std::optional<TimeSeriesError> error) {
               pair.set_value({cursor != nullptr, error.has_value()});
             });
  EXPECT_EQ(pair.get_future().get(), std::make_pair(true, false));

  std::promise<std::pair<std::size_t, bool>> rawPair;
  api->queryRaw("q", std::nullopt, Dialect(), std::nullopt, queue,
                [&](std::optional<platform::Data> data, std::optional<TimeSeriesError> error) {
                  rawPair.set_value({data ? data->size() : 0, error.has_value()});
                });
  EXPECT_EQ(rawPair.get_future().get(), std::make_pair(answer.size(), false));
  EXPECT_EQ(Json::parse(server.requests().back().body).dump(), R"({"query":"q","dialect":{}})");

  // Publishers send when they are made; a late subscriber still gets the outcome.
  auto cursors = api->query("q", std::nullopt, std::nullopt, queue);
  auto bytes = api->queryRaw("q", "o2", QueryAPI::defaultDialect(), std::nullopt, queue);
  std::promise<void> both;
  std::atomic<int> arrived{0};
  auto done = [&](const auto&) {
    if (++arrived == 2) both.set_value();
  };
  platform::AnyCancellable a = cursors.sink(nullptr, done), b = bytes.sink(nullptr, done);
  both.get_future().wait();
  EXPECT_EQ(server.requests().size(), 4u);
  std::size_t records = 0;
  platform::AnyCancellable late = cursors.sink(
      [&](const std::shared_ptr<QueryAPI::ResultRecordCursor>& cursor) { records = collectArray(cursor).size(); });
  EXPECT_EQ(records, 2u);
}

// A 64 MiB answer, raw and parsed.
TEST_F(QueryAPITest, LargeAnswers) {
  std::string big = "#datatype,string,long\n#group,false,false\n#default,,\n,name,n\n";
  const std::string row = "," + std::string(100, 'x') + ",12345\n";
  std::size_t rows = 0;
  while (big.size() < (64u << 20)) big += row, ++rows;
  server.script("/api/v2/query", {200, big, "text/csv"});
  RawOutcome rawOutcome = raw(std::nullopt);
  ASSERT_TRUE(rawOutcome.isSuccess());
  EXPECT_EQ(rawOutcome.value().size(), big.size());
  CursorOutcome parsed = query(*api, std::nullopt);
  ASSERT_TRUE(parsed.isSuccess());
  std::size_t count = 0;
  forEach(parsed.value(), [&](const ResultRecord& record) {
    if (record.values().size() == 2) ++count;
  });
  EXPECT_EQ(count, rows);
}

TEST_F(QueryAPITest, TheInterfaceIsMadeOnceAndKeepsItsClient) {
  EXPECT_EQ(client->queryAPI().get(), api.get());
  std::weak_ptr<TimeSeriesClient> weak = client;
  client.reset();
  EXPECT_FALSE(weak.expired());
  api.reset();
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace TimeSeries
