#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <thread>

#include "TimeSeries/TimeSeriesClient.hpp"
#include "platform/coding/CodingError.hpp"
#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/net/testing/Gzip.hpp"
#include "platform/net/testing/LoopbackHTTPServer.hpp"
#include "platform/net/testing/RawSocketServer.hpp"

namespace TimeSeries {
namespace {

using platform::testing::LoopbackHTTPServer;
using platform::testing::RawSocketServer;
using Behaviour = RawSocketServer::Behaviour;
using Json = nlohmann::ordered_json;

// Collects one outcome, checking that it arrives once, on the queue, and not inside the call.
template <typename Outcome>
class Delivery {
 public:
  explicit Delivery(std::shared_ptr<platform::DispatchQueue> queue) : queue_(std::move(queue)) {}
  std::function<void(Outcome)> completion() {
    return [this, caller = std::this_thread::get_id()](Outcome outcome) {
      EXPECT_TRUE(queue_->isCurrent());
      EXPECT_NE(std::this_thread::get_id(), caller);
      if (++calls_ == 1)
        promise_.set_value(std::move(outcome));
      else
        ADD_FAILURE() << "delivered twice";
    };
  }
  Outcome wait() { return future_.get(); }

 private:
  std::shared_ptr<platform::DispatchQueue> queue_;
  std::promise<Outcome> promise_;
  std::future<Outcome> future_ = promise_.get_future();
  std::atomic<int> calls_{0};
};

using PostOutcome = TimeSeriesClient::Outcome;

// The idle time-out of a client whose server answers: a guard against a hang, never a
// limit a loaded machine could reach.
constexpr std::chrono::minutes idleBound{2};

struct ClientTest : ::testing::Test {
  std::shared_ptr<platform::DispatchQueue> queue = std::make_shared<platform::DispatchQueue>("TimeSeries.test");

  PostOutcome post(TimeSeriesClient& client, const std::optional<platform::URLComponents>& components,
                   TimeSeriesClient::Compression compression = TimeSeriesClient::Compression::none,
                   std::string body = "hello") {
    Delivery<PostOutcome> delivery(queue);
    client.httpPost(components, "text/plain; charset=utf-8", "application/json", compression,
                    platform::Data::fromString(body), queue, delivery.completion());
    return delivery.wait();
  }
  static std::optional<platform::URLComponents> at(const std::string& url) {
    return platform::URLComponents::parse(url);
  }
};

std::string causeText(const TimeSeriesError& error) { return TimeSeriesError::describe(error.causeError()); }

TEST_F(ClientTest, PostsTheHeadersInOrderAndGzipsOnlyWhenAsked) {
  RawSocketServer server({Behaviour::reply("HTTP/1.1 204 No Content\r\n\r\n")});
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
  auto client = TimeSeriesClient::make(server.url("/"), {std::nullopt, true, idleBound},
                                       {{"Authorization", "Token secret"}, {"User-Agent", "pelmora-zava/0.1"}});
  EXPECT_EQ(client->url(), server.url());
  ASSERT_TRUE(post(*client, at(client->url() + "/api/v2/write?org=o")).isSuccess());
  EXPECT_EQ(server.requests().at(0), "POST /api/v2/write?org=o HTTP/1.1\r\n" + host +
                                         "Content-Type: text/plain; charset=utf-8\r\n"
                                         "Content-Length: 5\r\n"
                                         "Accept: application/json\r\n"
                                         "Accept-Encoding: identity\r\n"
                                         "Content-Encoding: identity\r\n"
                                         "Authorization: Token secret\r\n"
                                         "User-Agent: pelmora-zava/0.1\r\n"
                                         "\r\n"
                                         "hello");
  const std::string text(1000, 'x');
  ASSERT_TRUE(post(*client, at(client->url() + "/w"), TimeSeriesClient::Compression::request, text).isSuccess());
  const std::string gzipRequest = server.requests().at(1);
  const std::size_t bodyStart = gzipRequest.find("\r\n\r\n") + 4;
  EXPECT_NE(gzipRequest.find("Content-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_NE(gzipRequest.find("Content-Length: " + std::to_string(gzipRequest.size() - bodyStart) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(platform::testing::gunzipped(std::string_view(gzipRequest).substr(bodyStart)), text);
  // `response` compresses nothing.
  ASSERT_TRUE(post(*client, at(client->url() + "/w"), TimeSeriesClient::Compression::response).isSuccess());
  EXPECT_TRUE(
      server.requests().at(2).ends_with("Content-Encoding: identity\r\n"
                                        "Authorization: Token secret\r\n"
                                        "User-Agent: pelmora-zava/0.1\r\n\r\nhello"));
}

TEST_F(ClientTest, RepliesBecomeOutcomes) {
  LoopbackHTTPServer server;
  server.script("/ok", {200, "a,b\n1,2\n", "text/csv"});
  server.script("/empty", {204, "", ""});
  server.script("/missing", {404, R"({"code":"not found","message":"bucket \"b\" not found"})", "application/json"});
  server.script("/broken", {500, "<html>oops</html>", "text/html"});
  server.script("/list", {500, "[1,2]", "application/json"});
  server.script("/moved", {307, "", "", {{"Location", "/ok"}}});
  server.script("/gzipped", {200, platform::testing::gzipped("a,b\n"), "text/csv", {{"Content-Encoding", "gzip"}}});
  struct Case {
    const char* path;
    int status;        // 0: success
    const char* text;  // the body, or the error's description
  };
  const Case cases[] = {
      {"/ok", 0, "a,b\n1,2\n"},
      {"/empty", 0, ""},
      {"/gzipped", 0, "a,b\n"},
      {"/missing", 404,
       R"((404) Reason: Unsuccessful HTTP StatusCode, HTTP Body: {"code":"not found","message":"bucket \"b\" not found"}, HTTP Headers: )"},
      {"/broken", 500, "(500) Reason: Unsuccessful HTTP StatusCode, HTTP Headers: "},
      {"/list", 500, "(500) Reason: Unsuccessful HTTP StatusCode, HTTP Headers: "},
      {"/moved", 307, "(307) Reason: Unsuccessful HTTP StatusCode, HTTP Headers: "},
  };
  auto client = TimeSeriesClient::make(server.url());
  for (const Case& c : cases) {
    PostOutcome outcome = post(*client, at(server.url(c.path)));
    if (c.status == 0) {
      ASSERT_TRUE(outcome.isSuccess()) << c.path << ": " << outcome.error().what();
      ASSERT_TRUE(outcome.value());
      EXPECT_EQ(outcome.value()->view(), c.text);
      continue;
    }
    ASSERT_TRUE(outcome.isFailure()) << c.path;
    const TimeSeriesError& error = outcome.error();
    EXPECT_EQ(error.kind(), TimeSeriesError::Kind::error);
    EXPECT_EQ(error.statusCode(), c.status);
    EXPECT_TRUE(std::string(error.what()).starts_with(c.text)) << error.what();
    ASSERT_TRUE(error.headers());
    EXPECT_FALSE(error.headers()->empty());
    EXPECT_EQ(error.body().has_value(), c.status == 404) << c.path;
    EXPECT_EQ(causeText(error), "Unsuccessful HTTP StatusCode");
  }
  EXPECT_EQ(server.requests().size(), std::size(cases));  // the 307 was not followed
}

TEST_F(ClientTest, TransportFailuresAndAddressesThatAreNotSent) {
  auto client = TimeSeriesClient::make("http://127.0.0.1:1", {std::nullopt, false, idleBound});
  struct Case {
    const char* name;
    Behaviour behaviour;
    std::int64_t curlCode;
    std::optional<Json> body;
  };
  const Case cases[] = {
      {"reset", Behaviour::reset(), 56, std::nullopt},
      {"garbage", Behaviour::reply("\x16\x03\x01 not http\r\n\r\n"), 1, std::nullopt},
      {"short JSON body", Behaviour::reply("HTTP/1.1 500 Oops\r\nContent-Length: 99\r\n\r\n{\"code\":\"internal\"}"),
       18, Json::parse(R"({"code":"internal"})")},
      {"stall", Behaviour::stall(), 28, std::nullopt},
  };
  for (const Case& c : cases) {
    RawSocketServer server({c.behaviour});
    // Only the silent server is waited out; the others answer however slowly the machine runs.
    const auto silentAfter = c.behaviour.kind == Behaviour::Kind::stall ? std::chrono::milliseconds(1000) : idleBound;
    auto caseClient = TimeSeriesClient::make("http://127.0.0.1:1", {std::nullopt, false, silentAfter});
    PostOutcome outcome = post(*caseClient, at(server.url("/api/v2/query")));
    ASSERT_TRUE(outcome.isFailure()) << c.name;
    const TimeSeriesError& error = outcome.error();
    EXPECT_EQ(error.statusCode(), -1) << c.name;
    EXPECT_FALSE(error.headers());
    EXPECT_EQ(error.body(), c.body) << c.name;
    try {
      std::rethrow_exception(error.causeError());
    } catch (const platform::Error& cause) {
      EXPECT_EQ(cause.domain(), "HTTPTransport");
      EXPECT_EQ(cause.code(), c.curlCode) << c.name << ": " << cause.description();
      EXPECT_EQ(error.what(),
                "(-1) Reason: " + cause.description() + (c.body ? ", HTTP Body: " + c.body->dump() : std::string()));
    }
  }

  RawSocketServer server({Behaviour::reply("HTTP/1.1 204 No Content\r\n\r\n")});
  const std::string port = std::to_string(server.port());
  const std::optional<platform::URLComponents> unsendable[] = {std::nullopt,
                                                               platform::URLComponents(),
                                                               at("ftp://127.0.0.1:" + port + "/api"),
                                                               at("file:///etc/passwd"),
                                                               at("http:///api"),
                                                               at("/api/v2/query"),
                                                               at("mailto:me@example.com")};
  for (const auto& components : unsendable) {
    PostOutcome outcome = post(*client, components);
    ASSERT_TRUE(outcome.isFailure());
    EXPECT_EQ(outcome.error().statusCode(), -1);
    EXPECT_STREQ(outcome.error().what(), "(-1) Reason: Invalid URL");
    EXPECT_EQ(causeText(outcome.error()), "Invalid URL");
  }
  EXPECT_TRUE(server.requests().empty());
  EXPECT_TRUE(post(*client, at("HTTP://127.0.0.1:" + port + "/")).isSuccess());  // schemes have no case
}

std::string nested(std::size_t levels) {
  std::string text;
  for (std::size_t i = 0; i < levels; ++i) text += i % 2 ? "[" : R"({"a":)";
  text += "1";
  for (std::size_t i = levels; i-- > 0;) text += i % 2 ? "]" : "}";
  return text;
}

// An error body nested past 512 levels is kept out of the error, as one that is not JSON
// is: printing it would recurse once per level, on the response queue's stack.
TEST_F(ClientTest, DeeplyNestedErrorBodiesAreLeftOut) {
  LoopbackHTTPServer server;
  struct Case {
    std::string body;
    bool kept;
  };
  const Case cases[] = {
      {nested(512), true},
      {nested(513), false},
      {nested(60'000), false},
      {std::string(60'000, '[') + std::string(60'000, ']'), false},
      {[] {
         std::string text;
         for (int i = 0; i < 60'000; ++i) text += R"({"a":)";
         return text;
       }(),
       false},
  };
  auto client = TimeSeriesClient::make(server.url());
  for (const Case& c : cases) {
    server.script("/deep", {500, c.body, "application/json"});
    PostOutcome outcome = post(*client, at(server.url("/deep")));
    ASSERT_TRUE(outcome.isFailure());
    const TimeSeriesError& error = outcome.error();
    EXPECT_EQ(error.statusCode(), 500);
    EXPECT_EQ(error.body().has_value(), c.kept) << c.body.size();
    const std::string text = error.what();
    EXPECT_EQ(text.find(", HTTP Body: ") != std::string::npos, c.kept) << c.body.size();
    EXPECT_TRUE(text.starts_with("(500) Reason: Unsuccessful HTTP StatusCode"));
    if (c.kept) {
      EXPECT_EQ(error.body()->dump(), c.body);
    }
  }
}

// A transport that answers with neither a response nor an error: the reply is not HTTP.
TEST_F(ClientTest, AReplyThatIsNotHTTPIsMissingData) {
  struct NoResponse final : platform::HTTPTransport {
    void send(platform::HTTPRequest, Completion completion) override { completion(platform::HTTPReply{}); }
  };
  auto client = TimeSeriesClient::make("http://127.0.0.1:1", {}, {}, std::make_shared<NoResponse>());
  PostOutcome outcome = post(*client, at("http://127.0.0.1:1/api/v2/delete"));
  ASSERT_TRUE(outcome.isFailure());
  EXPECT_EQ(outcome.error().statusCode(), -2);
  EXPECT_STREQ(outcome.error().what(), "(-2) Reason: Missing data");
}

// The completion holds the last owner of the client, and the response queue has no other
// owner: ending both on the queue's worker must not wait for the transport, nor it for them.
TEST_F(ClientTest, TheLastOwnersMayLetGoInTheCompletion) {
  LoopbackHTTPServer server;
  server.script("/x", {204, "", ""});
  std::promise<bool> done;
  {
    auto client = TimeSeriesClient::make(server.url());
    auto ownQueue = std::make_shared<platform::DispatchQueue>("TimeSeries.last");
    client->httpPost(at(server.url("/x")), "text/plain", "application/json", TimeSeriesClient::Compression::none,
                     platform::Data(), ownQueue, [keep = client, &done](PostOutcome outcome) mutable {
                       keep.reset();
                       done.set_value(outcome.isSuccess());
                     });
  }
  EXPECT_TRUE(done.get_future().get());
}

TEST_F(ClientTest, LargeAnswersArriveWhole) {
  std::string big(64u << 20, 'x');
  LoopbackHTTPServer server;
  server.script("/big", {200, big, "text/csv"});
  auto client = TimeSeriesClient::make(server.url());
  PostOutcome outcome = post(*client, at(server.url("/big")));
  ASSERT_TRUE(outcome.isSuccess());
  EXPECT_EQ(outcome.value()->size(), big.size());
}

}  // namespace
}  // namespace TimeSeries
