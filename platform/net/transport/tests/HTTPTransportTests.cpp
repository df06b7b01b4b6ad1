#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/HTTPTransport.hpp"
#include "platform/net/testing/Gzip.hpp"
#include "platform/net/testing/LoopbackHTTPServer.hpp"
#include "platform/net/testing/RawSocketServer.hpp"

namespace platform {
namespace {

using testing::LoopbackHTTPServer;
using testing::RawSocketServer;
using testing::ScriptedReply;
using Behaviour = RawSocketServer::Behaviour;

struct Outcome {
  HTTPReply reply;
  std::thread::id thread;
};

// Sends and hands back a future of the one outcome; a second completion fails the test.
std::future<Outcome> start(HTTPTransport& transport, HTTPRequest request) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  auto calls = std::make_shared<std::atomic<int>>(0);
  transport.send(std::move(request), [promise, calls](HTTPReply reply) {
    if (calls->fetch_add(1) == 0)
      promise->set_value({std::move(reply), std::this_thread::get_id()});
    else
      ADD_FAILURE() << "a request completed twice";
  });
  return promise->get_future();
}

HTTPReply sendAndWait(HTTPTransport& transport, HTTPRequest request) {
  Outcome outcome = start(transport, std::move(request)).get();
  EXPECT_NE(outcome.thread, std::this_thread::get_id());
  return std::move(outcome.reply);
}

HTTPRequest get(std::string url) {
  HTTPRequest request;
  request.url = std::move(url);
  return request;
}

std::string bodyText(const HTTPReply& reply) { return std::string(reply.body.view()); }

// The idle time-out of a request whose server answers: a guard against a hang, never a limit
// a loaded machine could reach.
constexpr std::chrono::minutes idleBound{2};

// A loopback port held for the test's length: it refuses connections unless listening, when
// the system accepts them whether or not the test has taken them yet; taking one never waits.
struct LoopbackPort {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int port = 0;
  explicit LoopbackPort(bool listening = false) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    if (listening) ::listen(fd, 1);
  }
  ~LoopbackPort() { ::close(fd); }
};

// Every status is a reply, not an error; a redirect is not followed unless asked.
TEST(HTTPTransport, RepliesOfEveryStatus) {
  LoopbackHTTPServer server;
  server.script("/ok", {200, R"({"a":1})", "application/json"});
  server.script("/empty", {200, "", ""});
  server.script("/none", {204, "", ""});
  server.script("/missing", {404, R"({"code":"not found","message":"no bucket"})", "application/json"});
  server.script("/broken", {500, "<html>oops</html>", "text/html"});
  server.script("/moved", {307, "", "", {{"Location", "/ok"}}});
  struct Case {
    std::string path;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"/ok", 200, R"({"a":1})"},
      {"/empty", 200, ""},
      {"/none", 204, ""},
      {"/missing", 404, R"({"code":"not found","message":"no bucket"})"},
      {"/broken", 500, "<html>oops</html>"},
      {"/moved", 307, ""},
  };
  auto transport = HTTPTransport::make();
  for (const Case& c : cases) {
    HTTPReply reply = sendAndWait(*transport, get(server.url(c.path)));
    ASSERT_TRUE(reply.response) << c.path << ": " << (reply.error ? reply.error->description() : "");
    EXPECT_FALSE(reply.error);
    EXPECT_EQ(reply.response->statusCode, c.status) << c.path;
    EXPECT_EQ(bodyText(reply), c.body) << c.path;
  }
  HTTPReply moved = sendAndWait(*transport, get(server.url("/moved")));
  EXPECT_EQ(moved.response->value("location"), "/ok");
  EXPECT_EQ(server.requests().size(), std::size(cases) + 1);  // nothing followed the 307
}

// Faults of the peer: each is a transport error with libcurl's code, keeping what had arrived.
TEST(HTTPTransport, TransportFailures) {
  struct Case {
    const char* name;
    Behaviour behaviour;
    std::int64_t code;
    std::string partialBody;
  };
  const Case cases[] = {
      {"reset", Behaviour::reset(), 56, ""},
      {"garbage", Behaviour::reply(std::string("\x01\xff garbage\r\n\r\n", 14)), 1, ""},
      {"short body", Behaviour::reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort"), 18, "short"},
      {"head cut inside a field", Behaviour::reply("HTTP/1.1 200 OK\r\nContent-Le"), 18, ""},
      {"head without its blank line", Behaviour::reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n"), 18, ""},
      {"status line alone", Behaviour::reply("HTTP/1.1 200 OK\r\n"), 18, ""},
      {"interim reply, final head cut", Behaviour::reply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nA: b\r\n"),
       18, ""},
      {"stall", Behaviour::stall(), 28, ""},
  };
  auto transport = HTTPTransport::make();
  for (const Case& c : cases) {
    RawSocketServer server({c.behaviour});
    HTTPRequest request = get(server.url("/x"));
    // Only the silent server is waited out; the others answer however slowly the machine runs.
    request.idleTimeout = c.behaviour.kind == Behaviour::Kind::stall ? std::chrono::milliseconds(1000) : idleBound;
    HTTPReply reply = sendAndWait(*transport, request);
    EXPECT_FALSE(reply.response) << c.name;
    ASSERT_TRUE(reply.error) << c.name;
    EXPECT_EQ(reply.error->domain(), "HTTPTransport");
    EXPECT_EQ(reply.error->code(), c.code) << c.name << ": " << reply.error->description();
    EXPECT_FALSE(reply.error->description().empty());
    EXPECT_EQ(bodyText(reply), c.partialBody) << c.name;
    EXPECT_EQ(server.requests().size(), 1u) << c.name;
  }
  LoopbackPort refusing;
  HTTPReply refused = sendAndWait(*transport, get("http://127.0.0.1:" + std::to_string(refusing.port) + "/"));
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->code(), 7);
}

// The idle time-out is never cut short and is counted from the last byte that moved either way.
// How late a time-out ends the request depends on the machine's load, so only its lower bound
// is checked.
TEST(HTTPTransport, IdleTimeOutsFollowTheSetting) {
  using std::chrono::milliseconds;
  struct Case {
    const char* name;
    Behaviour behaviour;
    bool post;
    milliseconds timeout;
    milliseconds atLeast;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n";
  const Case cases[] = {
      {"POST, server silent", Behaviour::stall(), true, milliseconds(3000), milliseconds(3000)},
      {"POST, server silent, short", Behaviour::stall(), true, milliseconds(1000), milliseconds(1000)},
      {"GET, server silent", Behaviour::stall(), false, milliseconds(300), milliseconds(300)},
      {"GET, stalled after the head", Behaviour::stallAfter(head + "ab"), false, milliseconds(300), milliseconds(300)},
  };
  auto transport = HTTPTransport::make();
  for (const Case& c : cases) {
    RawSocketServer server({c.behaviour});
    HTTPRequest request = get(server.url("/x"));
    if (c.post) {
      request.method = "POST";
      request.body = Data::fromString(std::string(1000, 'x'));
    }
    request.idleTimeout = c.timeout;
    const auto started = std::chrono::steady_clock::now();
    HTTPReply reply = sendAndWait(*transport, request);
    const auto took = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - started);
    EXPECT_GE(took, c.atLeast) << c.name;
    ASSERT_TRUE(reply.error) << c.name;
    EXPECT_EQ(reply.error->code(), 28) << c.name << ": " << reply.error->description();
  }
}

// A reply that keeps arriving for longer than its idle time-out is no time-out. Each byte goes
// out on the transport's own thread, from the completion of a request refused at once, before
// that thread next reads the connection: however loaded the machine, the transport never waits
// for a byte, while the reply as a whole lasts twice the time-out from the head, which comes after
// the request started.
TEST(HTTPTransport, IdleTimeOutIsNoLimitOnAReplyThatKeepsArriving) {
  constexpr std::chrono::milliseconds timeout{1000};
  const LoopbackPort server(true);
  struct Trickle {  // touched on the transport's thread only, until the reply is in
    int connection = -1;
    std::chrono::steady_clock::time_point headSent;
    std::size_t sent = 0;
    bool replied = false;
  } trickle;
  std::promise<HTTPReply> replied;
  std::function<void()> tick;
  auto transport = HTTPTransport::make();
  auto sendTick = [&] { transport->send(get("tick:"), [&](HTTPReply) { tick(); }); };
  tick = [&] {
    if (trickle.replied) return;  // a reply too early is the failure; the ticks stop with it
    if (trickle.connection < 0) {
      trickle.connection = ::accept4(server.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      const std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
      if (trickle.connection >= 0) {
        trickle.headSent = std::chrono::steady_clock::now();
        EXPECT_EQ(::send(trickle.connection, head.data(), head.size(), MSG_NOSIGNAL), std::ssize(head));
      }
    } else if (std::chrono::steady_clock::now() - trickle.headSent <= 2 * timeout) {
      trickle.sent += ::send(trickle.connection, "a", 1, MSG_NOSIGNAL) == 1;
    } else {
      ::shutdown(trickle.connection, SHUT_WR);  // the end of the body
      return;
    }
    sendTick();
  };
  HTTPRequest request = get("http://127.0.0.1:" + std::to_string(server.port) + "/x");
  request.idleTimeout = timeout;
  transport->send(std::move(request), [&](HTTPReply reply) {
    trickle.replied = true;
    replied.set_value(std::move(reply));
  });
  sendTick();
  const HTTPReply reply = replied.get_future().get();
  ::close(trickle.connection);
  ASSERT_TRUE(reply.response) << (reply.error ? reply.error->description() : "");
  EXPECT_EQ(reply.response->statusCode, 200);
  EXPECT_GT(trickle.sent, 0u);
  EXPECT_EQ(bodyText(reply), std::string(trickle.sent, 'a'));
}

// The request goes out as given: method, target, the fields in order, no "Expect", the body.
TEST(HTTPTransport, SendsTheRequestAsGiven) {
  RawSocketServer server({Behaviour::reply("HTTP/1.1 204 No Content\r\n\r\n")});
  HTTPRequest request;
  request.url = server.url("/api/v2/query?org=my%20org");
  request.method = "POST";
  request.headers = {{"Content-Type", "application/json; charset=utf-8"},
                     {"Content-Length", "5"},
                     {"Accept", "text/csv"},
                     {"Accept-Encoding", "identity"},
                     {"Content-Encoding", "identity"},
                     {"X-Empty", ""}};
  request.body = Data::fromString("hello");
  auto transport = HTTPTransport::make();
  HTTPReply reply = sendAndWait(*transport, request);
  ASSERT_TRUE(reply.response);
  EXPECT_EQ(reply.response->statusCode, 204);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0],
            "POST /api/v2/query?org=my%20org HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) +
                "\r\n"
                "Content-Type: application/json; charset=utf-8\r\n"
                "Content-Length: 5\r\n"
                "Accept: text/csv\r\n"
                "Accept-Encoding: identity\r\n"
                "Content-Encoding: identity\r\n"
                "X-Empty:\r\n"
                "\r\n"
                "hello");
}

// Only http and https addresses with a host go out.
TEST(HTTPTransport, RefusesAddressesThatAreNotHTTP) {
  RawSocketServer server({Behaviour::reply("HTTP/1.1 204 No Content\r\n\r\n")});
  const std::string port = std::to_string(server.port());
  auto transport = HTTPTransport::make();
  for (const std::string& url :
       std::vector<std::string>{"file:///etc/passwd", "ftp://127.0.0.1:" + port + "/x", "127.0.0.1:" + port + "/x",
                                "email/app-feedback", "http:///x", "https://", "", "gopher://127.0.0.1:" + port}) {
    HTTPReply reply = sendAndWait(*transport, get(url));
    EXPECT_FALSE(reply.response) << url;
    ASSERT_TRUE(reply.error) << url;
    EXPECT_EQ(reply.error->domain(), "HTTPTransport");
    EXPECT_TRUE(reply.error->code() == 1 || reply.error->code() == 3) << url << ": " << reply.error->code();
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(HTTPTransport, RedirectsFollowedOnlyWithinHTTPAndUpToTheLimit) {
  LoopbackHTTPServer server;
  server.script("/start", {302, "", "", {{"Location", "/middle"}}});
  server.script("/middle", {301, "", "", {{"Location", server.url("/end")}}});
  server.script("/end", {204, "", ""});
  server.script("/loop", {302, "", "", {{"Location", "/loop"}}});
  server.script("/elsewhere", {302, "", "", {{"Location", "file:///etc/passwd"}}});
  struct Case {
    std::string path;
    int maximumRedirects;
    int status;         // 0: an error
    std::int64_t code;  // the error's
    std::size_t requests;
  };
  const Case cases[] = {
      {"/start", 10, 204, 0, 3}, {"/start", 0, 302, 0, 1},    {"/start", 1, 0, 47, 2},
      {"/loop", 3, 0, 47, 4},    {"/elsewhere", 10, 0, 1, 1},
  };
  auto transport = HTTPTransport::make();
  std::size_t before = 0;
  for (const Case& c : cases) {
    HTTPRequest request = get(server.url(c.path));
    request.maximumRedirects = c.maximumRedirects;
    HTTPReply reply = sendAndWait(*transport, request);
    if (c.status) {
      ASSERT_TRUE(reply.response) << c.path << " " << c.maximumRedirects;
      EXPECT_EQ(reply.response->statusCode, c.status);
    } else {
      ASSERT_TRUE(reply.error) << c.path << " " << c.maximumRedirects;
      EXPECT_EQ(reply.error->code(), c.code) << reply.error->description();
    }
    const std::size_t now = server.requests().size();
    EXPECT_EQ(now - before, c.requests) << c.path << " " << c.maximumRedirects;
    before = now;
  }

  // A redirect that keeps the method sends the body again; one that turns it into GET does not.
  server.script("/again", {307, "", "", {{"Location", "/end"}}});
  for (const std::string path : {"/again", "/start"}) {
    HTTPRequest request = get(server.url(path));
    request.method = "POST";
    request.body = Data::fromString("hello");
    request.maximumRedirects = 10;
    HTTPReply reply = sendAndWait(*transport, request);
    ASSERT_TRUE(reply.response) << path << ": " << (reply.error ? reply.error->description() : "");
    EXPECT_EQ(reply.response->statusCode, 204);
    const auto requests = server.requests();
    const auto& last = requests.back();
    EXPECT_EQ(last.method, path == "/again" ? "POST" : "GET") << path;
    EXPECT_EQ(last.body, path == "/again" ? "hello" : "") << path;
    EXPECT_EQ(requests[requests.size() - (path == "/again" ? 2 : 3)].body, "hello") << path;
  }
}

// A gzipped answer is decoded only when asked; a discarded body is never kept.
TEST(HTTPTransport, DecompressionAndSinks) {
  const std::string text = "#datatype,string\n,hello\n";
  const std::string answer =
      "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(testing::gzipped(text).size()) +
      "\r\n\r\n" + testing::gzipped(text);
  RawSocketServer server({Behaviour::reply(answer)});
  auto transport = HTTPTransport::make();
  struct Case {
    bool decompress;
    HTTPRequest::BodySink sink;
    std::string body;
  };
  for (const Case& c :
       {Case{true, HTTPRequest::BodySink::keep, text}, Case{false, HTTPRequest::BodySink::keep, testing::gzipped(text)},
        Case{true, HTTPRequest::BodySink::discard, ""}}) {
    HTTPRequest request = get(server.url("/"));
    request.headers = {{"Accept-Encoding", "identity"}};
    request.decompress = c.decompress;
    request.sink = c.sink;
    HTTPReply reply = sendAndWait(*transport, request);
    ASSERT_TRUE(reply.response) << (reply.error ? reply.error->description() : "");
    EXPECT_EQ(bodyText(reply), c.body);
  }
  for (const std::string& raw : server.requests())
    EXPECT_NE(raw.find("Accept-Encoding: identity\r\n"), std::string::npos);
}

TEST(HTTPTransport, LargeBodiesArriveWhole) {
  std::string big(64u << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  LoopbackHTTPServer server;
  server.script("/big", {200, big, "text/csv"});
  auto transport = HTTPTransport::make();
  HTTPReply reply = sendAndWait(*transport, get(server.url("/big")));
  ASSERT_TRUE(reply.response);
  EXPECT_TRUE(bodyText(reply) == big);
}

// Many requests in flight at once, sent from several threads: each completes once, with its own reply.
TEST(HTTPTransport, ManyRequestsInFlight) {
  LoopbackHTTPServer server;
  constexpr int paths = 8, threads = 4, perThread = 10;
  for (int p = 0; p < paths; ++p)
    server.script("/" + std::to_string(p), {200, "reply " + std::to_string(p), "text/plain"});
  auto transport = HTTPTransport::make();
  std::vector<std::vector<std::future<Outcome>>> futures(threads);
  std::vector<std::thread> senders;
  for (int t = 0; t < threads; ++t)
    senders.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i)
        futures[t].push_back(start(*transport, get(server.url("/" + std::to_string(i % paths)))));
    });
  for (auto& sender : senders) sender.join();
  for (auto& perSender : futures)
    for (std::size_t i = 0; i < perSender.size(); ++i) {
      Outcome outcome = perSender[i].get();
      ASSERT_TRUE(outcome.reply.response);
      EXPECT_EQ(bodyText(outcome.reply), "reply " + std::to_string(i % paths));
    }
  EXPECT_EQ(server.requests().size(), std::size_t(threads * perThread));
}

// Requests in flight when the transport ends complete once, cancelled, on its thread; a
// completion may end the transport itself.
TEST(HTTPTransport, DestructionCancelsWhatIsInFlight) {
  RawSocketServer server({Behaviour::stall()});
  auto transport = HTTPTransport::make();
  auto first = start(*transport, get(server.url("/a")));
  auto second = start(*transport, get(server.url("/b")));
  transport.reset();
  for (auto* future : {&first, &second}) {
    Outcome outcome = future->get();
    ASSERT_TRUE(outcome.reply.error);
    EXPECT_EQ(outcome.reply.error->code(), HTTPTransport::cancelledCode);
    EXPECT_EQ(outcome.reply.error->domain(), "HTTPTransport");
  }

  LoopbackHTTPServer loopback;
  loopback.script("/", {204, "", ""});
  std::shared_ptr<HTTPTransport> shared = HTTPTransport::make();
  std::promise<bool> ended;
  shared->send(get(loopback.url("/")), [&, keep = shared](HTTPReply reply) mutable {
    keep.reset();  // the last owner: the transport ends on its own thread
    ended.set_value(reply.response && reply.response->statusCode == 204);
  });
  shared.reset();
  EXPECT_TRUE(ended.get_future().get());
}

}  // namespace
}  // namespace platform
