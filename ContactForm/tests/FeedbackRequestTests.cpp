#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FormFixture.hpp"
#include "platform/core/Log.hpp"
#include "platform/net/testing/LoopbackHTTPServer.hpp"
#include "platform/ui/Alert.hpp"

namespace ContactForm {
namespace {

using namespace platform::ui;
using platform::testing::LoopbackHTTPServer;
using platform::testing::ScriptedReply;

constexpr const char* path = "/email/app-feedback";

class FeedbackRequest : public testing::FormTest {
 protected:
  // The form of the feedback window sending to `endpoint`, with a message typed.
  std::shared_ptr<ContactFormViewController> formSendingTo(const std::string& endpoint) {
    dictionary.emplace(testing::applicationInfo(endpoint));
    const auto form = showForm();
    form->bodyField()->edit("Hi");
    return form;
  }
  // Sends once more and waits until the reply has reached the main queue, then handles it.
  void sendAndHandle(ContactFormViewController& form) {
    ++sent;
    form.sendButton()->press();
    replies.waitFor(sent);
    drain();
  }

  LoopbackHTTPServer server;
  std::optional<platform::ScopedInfoDictionary> dictionary;
  int sent = 0;
};

TEST_F(FeedbackRequest, RepliesThankOrPresentTheFailure) {
  server.script(path, {200, "ok"});
  server.script("/no-content", {204, ""});
  server.script("/moved", {302, "", "", {{"Location", "/no-content?x=1"}}});
  server.script("/missing", {404, "no such form"});
  server.script("/broken", {500, "oops"});
  struct Case {
    const char* path;
    int status;  // 0: thanked
  };
  const Case cases[] = {{path, 0}, {"/no-content", 0}, {"/moved", 0}, {"/missing", 404}, {"/broken", 500}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    setSharedWindowController(nullptr);
    Application::shared().reset();
    const auto form = formSendingTo(server.url(c.path));
    form->nameField()->setStringValue("Ann Lee");
    form->emailField()->setStringValue("ann@example.org");
    sendAndHandle(*form);

    const auto sheet = window()->attachedSheet();
    if (c.status == 0) {
      EXPECT_TRUE(Application::shared().presentedErrors().empty());
      ASSERT_TRUE(sheet);
      EXPECT_EQ(sheet->messageText(), "Thank you for your feedback!");
      EXPECT_EQ(sheet->buttonTitles(), std::vector<std::string>{"OK"});
      EXPECT_TRUE(window()->isVisible());  // until the sheet ends
      sheet->pressButton(0);
      drain();
      EXPECT_FALSE(window()->isVisible());
      continue;
    }
    EXPECT_EQ(sheet, nullptr);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(form->nameField()->stringValue(), "Ann Lee");
    EXPECT_EQ(form->bodyField()->string(), "Hi");
    const auto& errors = Application::shared().presentedErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].domain(), "ContactForm");
    EXPECT_EQ(errors[0].code(), 1);
    EXPECT_EQ(errors[0].description(), "Your feedback could not be sent.");
    EXPECT_EQ(errors[0].failureReason(), "The server answered with HTTP status " + std::to_string(c.status) + ".");
    EXPECT_EQ(errors[0].userInfo().get<std::int64_t>("HTTP status code"), c.status);
  }

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 6u);  // the redirect took two
  EXPECT_EQ(requests[3].target, "/no-content?x=1");
  const std::string query = "?NAME=Ann%20Lee&FROM=ann%40example.org&SUBJECT=Pelmora%20Feedback"
                            "&BODY=Hi%0A%0A-------%0APelmora%201.2%20%2842%29";
  EXPECT_EQ(requests[0].target, path + query);
  EXPECT_EQ(requests[5].target, "/broken" + query);
  for (const auto& request : requests) {
    EXPECT_EQ(request.method, "GET");
    EXPECT_TRUE(request.body.empty());
    // The form adds no header: only what the transport sends of its own accord.
    for (const auto& [name, value] : request.headers)
      EXPECT_TRUE(name == "Host" || name == "Accept") << name << ": " << value;
    EXPECT_FALSE(request.hasHeader("Content-Length"));
  }
}

TEST_F(FeedbackRequest, QueryItemsArriveWhole) {
  server.script(path, {204, ""});
  const auto form = formSendingTo(server.url(path) + "?stale=1");
  form->nameField()->setStringValue("C++ & more = ?");
  form->subjectField()->setStringValue("");
  form->bodyField()->edit("a+b/c&d=e\n✓ 100%");
  form->debugEmailButton()->setState(Button::off);
  form->sendButton()->press();
  ++sent;
  replies.waitFor(sent);
  drain();

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const platform::testing::HeaderPairs expected{
      {"NAME", "C++ & more = ?"},
      {"FROM", "pelmora@feedback.maker.com"},
      {"SUBJECT", ""},
      {"BODY", "a+b/c&d=e\n✓ 100%\n\n-------\nPelmora 1.2 (42)"},
      {"NOEMAIL", "on"},
  };
  EXPECT_EQ(requests[0].queryItems, expected);
  EXPECT_TRUE(requests[0].target.starts_with(std::string(path) + "?NAME=C%2B%2B%20%26%20more%20%3D%20%3F&"));
}

TEST_F(FeedbackRequest, ADisabledSendButtonSendsNothing) {
  server.script(path, {204, ""});
  const auto form = formSendingTo(server.url(path));
  form->bodyField()->edit(" ");
  form->sendButton()->press();
  form->bodyField()->edit("Now");
  sendAndHandle(*form);
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].queryItems[3].second.substr(0, 3), "Now");
}

// A port on the loopback that refuses connections: bound, never listening.
class ClosedPort {
 public:
  ClosedPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), size) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      number_ = ntohs(address.sin_port);
  }
  ~ClosedPort() { ::close(socket_); }
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  int number() const { return number_; }

 private:
  int socket_;
  int number_ = 0;
};

TEST_F(FeedbackRequest, TransportErrorsArePresentedAsTheyCame) {
  ClosedPort refusing;
  ASSERT_NE(refusing.number(), 0);
  ScriptedReply silent(200, "never");
  silent.held = true;
  server.script("/silent", silent);
  struct Case {
    std::string endpoint;
    long code;  // libcurl's
    std::chrono::milliseconds timeout;
  };
  const Case cases[] = {
      {"http://127.0.0.1:" + std::to_string(refusing.number()) + path, 7, std::chrono::seconds(60)},
      {server.url("/silent"), 28, std::chrono::milliseconds(200)},
      {"ftp://127.0.0.1/feedback", 1, std::chrono::seconds(60)},
      {"/email/app-feedback", 3, std::chrono::seconds(60)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.endpoint);
    setSharedWindowController(nullptr);
    Application::shared().reset();
    const auto form = formSendingTo(c.endpoint);
    form->setRequestTimeout(c.timeout);
    sendAndHandle(*form);
    const auto& errors = Application::shared().presentedErrors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].domain(), "HTTPTransport");
    EXPECT_EQ(errors[0].code(), c.code) << errors[0].description();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->attachedSheet(), nullptr);
  }
  // The silent server may not have read the request before the client gave up on it.
  EXPECT_LE(server.requests().size(), 1u);
}

TEST_F(FeedbackRequest, TheFormStaysLiveWhileARequestIsInFlight) {
  ScriptedReply held(200, "");
  held.held = true;
  server.script(path, held);
  const auto form = formSendingTo(server.url(path));
  form->submitForm();  // returns at once
  form->nameField()->setStringValue("Ann");
  form->bodyField()->edit("");
  EXPECT_FALSE(form->formCanSend());
  form->bodyField()->edit("Second thoughts");
  EXPECT_TRUE(form->formCanSend());
  EXPECT_EQ(drain(), 0u);
  EXPECT_EQ(window()->attachedSheet(), nullptr);

  server.release();
  replies.waitFor(1);
  drain();
  ASSERT_TRUE(window()->attachedSheet());
  EXPECT_EQ(window()->attachedSheet()->messageText(), "Thank you for your feedback!");
}

TEST_F(FeedbackRequest, RepliesAfterTheWindowWasClosedStillReachThePerson) {
  struct Case {
    int status;
    bool shownAgain;  // before the reply arrives
  };
  const Case cases[] = {{500, false}, {404, true}, {204, false}, {204, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.status) + (c.shownAgain ? " shown again" : " closed"));
    setSharedWindowController(nullptr);
    Application::shared().reset();
    const std::string status = "/" + std::to_string(c.status);
    server.script(status, {c.status, ""});
    const auto form = formSendingTo(server.url(status));
    form->submitForm();
    replies.waitFor(++sent);  // the reply waits on the main queue until drained
    window()->close();
    if (c.shownAgain) showForm();

    platform::CapturedLog log;
    drain();
    EXPECT_EQ(window()->isVisible(), c.shownAgain);
    const auto sheet = window()->attachedSheet();
    const auto& errors = Application::shared().presentedErrors();
    if (c.status != 204) {
      // Not delivered: said at once, window or not, and the form keeps what it held.
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0].failureReason(), "The server answered with HTTP status " + std::to_string(c.status) + ".");
      EXPECT_EQ(sheet, nullptr);
      EXPECT_EQ(form->bodyField()->string(), "Hi");
      EXPECT_TRUE(log.lines().empty());
    } else if (c.shownAgain) {
      EXPECT_TRUE(errors.empty());
      ASSERT_TRUE(sheet);
      EXPECT_EQ(sheet->messageText(), "Thank you for your feedback!");
      EXPECT_TRUE(log.lines().empty());
    } else {
      EXPECT_TRUE(errors.empty());
      EXPECT_EQ(sheet, nullptr);  // no sheet waits for the next showing
      EXPECT_EQ(log.lines(), std::vector<std::string>{
                                 "Feedback delivered after the feedback window was closed: no thank-you shown"});
      showForm();
      EXPECT_EQ(window()->attachedSheet(), nullptr);
    }
  }
}

TEST_F(FeedbackRequest, AThankYouWaitsForTheSheetBeforeIt) {
  server.script(path, {200, ""});
  const auto form = formSendingTo(server.url(path));
  form->cancelForm();  // the message makes it ask
  const auto question = window()->attachedSheet();
  sendAndHandle(*form);
  sendAndHandle(*form);  // a second press: a second thank-you, behind the first
  EXPECT_EQ(window()->attachedSheet(), question);
  EXPECT_EQ(window()->queuedSheetCount(), 3u);

  question->pressButton(1);  // "No"
  drain();
  const auto thanks = window()->attachedSheet();
  ASSERT_TRUE(thanks);
  EXPECT_EQ(thanks->messageText(), "Thank you for your feedback!");
  EXPECT_EQ(Application::shared().keyWindow(), thanks->sheetWindow());
  thanks->pressButton(0);
  drain();
  // Closing ends the thank-you still waiting, so the next showing starts clean.
  EXPECT_FALSE(window()->isVisible());
  EXPECT_EQ(window()->attachedSheet(), nullptr);
  showForm();
  EXPECT_TRUE(window()->isVisible());
  EXPECT_EQ(window()->attachedSheet(), nullptr);
}

}  // namespace
}  // namespace ContactForm
