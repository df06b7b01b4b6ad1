#include <gtest/gtest.h>

#include <thread>

#include "ContactForm/AppInfo.hpp"
#include "FormFixture.hpp"
#include "ReplyFailure.hpp"
#include "platform/core/Log.hpp"
#include "platform/ui/Alert.hpp"

namespace ContactForm {
namespace {

using namespace platform::ui;
using testing::applicationInfo;

class FeedbackWindow : public testing::FormTest {
 protected:
  platform::ScopedInfoDictionary applicationDictionary{applicationInfo()};
};

TEST(AppInfo, MissingAndMistypedEntriesReadAsEmpty) {
  struct Case {
    std::optional<platform::InfoDictionary> dictionary;
    AppInfo expected;
    std::string versionString;
  };
  const Case cases[] = {
      {applicationInfo(), {"Pelmora", "42", "1.2", "com.maker.Pelmora"}, "Pelmora 1.2 (42)"},
      {platform::InfoDictionary{{"CFBundleName", std::string("Pelmora")}, {"CFBundleVersion", std::string("42")}},
       {"Pelmora", "42", "", ""},
       "Pelmora  (42)"},
      {platform::InfoDictionary{{"CFBundleName", 7}, {"CFBundleVersion", true}, {"CFBundleIdentifier", 1.5}},
       {},
       "  ()"},
      {std::nullopt, {}, "  ()"},
  };
  for (const auto& c : cases) {
    platform::ScopedInfoDictionary scoped(c.dictionary);
    const AppInfo info = AppInfo::fromMainBundle();
    EXPECT_EQ(info, c.expected);
    EXPECT_EQ(info.versionString(), c.versionString);
    EXPECT_EQ(info.footer(), "\n\n-------\n" + c.versionString);
  }
}

TEST_F(FeedbackWindow, IsMadeOnceAndShownAgainWithItsFormPrepared) {
  std::vector<std::shared_ptr<WindowController>> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = sharedWindowController(); });
  for (auto& thread : threads) thread.join();
  for (const auto& controller : seen) EXPECT_EQ(controller, seen[0]);

  const auto form = showForm();
  showForm();
  const auto shown = window();
  EXPECT_EQ(sharedWindowController(), seen[0]);
  EXPECT_EQ(shown->title(), "Send Feedback");
  EXPECT_EQ(shown->minSize(), (Size{480, 400}));
  EXPECT_EQ(shown->styleMask(), 3u);
  EXPECT_EQ(shown->collectionBehavior(), 512u);
  EXPECT_TRUE(shown->isVisible());
  EXPECT_EQ(shown->timesShown(), 2);
  EXPECT_EQ(Application::shared().keyWindow(), shown);
  EXPECT_EQ(form->window(), shown);

  EXPECT_EQ(form->subjectField()->stringValue(), "Pelmora Feedback");
  EXPECT_EQ(form->versionString(), "Pelmora 1.2 (42)");
  EXPECT_EQ(form->debugEmailButton()->state(), Button::on);
  const auto grid = form->emailGridView();
  const auto debugRow = grid->rowOf(*form->debugEmailButton());
  ASSERT_TRUE(debugRow);
  for (std::size_t row = 0; row < grid->numberOfRows(); ++row) EXPECT_EQ(grid->row(row).hidden, row == *debugRow);
  EXPECT_FALSE(form->formCanSend());
  EXPECT_FALSE(form->sendButton()->isEnabled());

  // Closing only hides it: the next showing has what the fields last held.
  form->nameField()->setStringValue("Ann");
  shown->close();
  showForm();
  EXPECT_EQ(window(), shown);
  EXPECT_EQ(form->nameField()->stringValue(), "Ann");
}

TEST_F(FeedbackWindow, EmptySubjectWhenTheApplicationHasNoName) {
  platform::ScopedInfoDictionary nameless(platform::InfoDictionary{});
  EXPECT_EQ(showForm()->subjectField()->stringValue(), " Feedback");
}

TEST_F(FeedbackWindow, TheMessageDecidesWhetherTheFormCanSend) {
  const auto form = showForm();
  std::vector<bool> announced;
  const auto subscription = form->formCanSendChanges().sink([&](bool canSend) { announced.push_back(canSend); });

  form->nameField()->setStringValue("Ann");
  form->subjectField()->setStringValue("Hello");
  EXPECT_FALSE(form->formCanSend());

  struct Edit {
    const char* text;
    bool canSend;
  };
  const Edit edits[] = {
      {" \n\t\r\n ", false},   {"\u00A0\u2028\u3000", false}, {"x", true},    {"  x  \n", true},
      {"\u00A0é\u00A0", true}, {"", false},                   {"\n", false}, {"hello", true},
  };
  std::vector<bool> expectedAnnouncements;
  bool previous = false;
  for (const auto& edit : edits) {
    form->bodyField()->edit(edit.text);
    EXPECT_EQ(form->formCanSend(), edit.canSend) << edit.text;
    EXPECT_EQ(form->sendButton()->isEnabled(), edit.canSend) << edit.text;
    if (edit.canSend != previous) expectedAnnouncements.push_back(edit.canSend);
    previous = edit.canSend;
  }
  EXPECT_EQ(announced, expectedAnnouncements);

  // Text set by code is no edit: nothing is re-evaluated.
  form->bodyField()->setString("");
  EXPECT_TRUE(form->formCanSend());
}

TEST_F(FeedbackWindow, CancellingClosesAnEmptyFormAndAsksOtherwise) {
  struct Case {
    const char* name;
    const char* email;
    const char* subject;
    const char* body;
    bool asks;
  };
  const Case cases[] = {
      {"", "", "", "", false},   {"", "", "Only a subject", "", false}, {" ", "", "", "", true},
      {"", "a@b", "", "", true}, {"", "", "", "\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "|" + c.email + "|" + c.subject + "|" + c.body);
    const auto form = showForm();
    form->nameField()->setStringValue(c.name);
    form->emailField()->setStringValue(c.email);
    form->subjectField()->setStringValue(c.subject);
    form->bodyField()->edit(c.body);
    platform::CapturedLog log;
    form->cancelButton()->press();
    drain();
    if (!c.asks) {
      EXPECT_EQ(log.lines(), std::vector<std::string>{"Form is empty. Dismissing feedback window"});
      EXPECT_FALSE(window()->isVisible());
      continue;
    }
    EXPECT_TRUE(log.lines().empty());
    const auto sheet = window()->attachedSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(Application::shared().keyWindow(), sheet->sheetWindow());
    EXPECT_EQ(sheet->messageText(), "Are you sure you want to cancel?");
    EXPECT_EQ(sheet->buttonTitles(), (std::vector<std::string>{"Yes", "No"}));

    sheet->pressButton(1);  // "No"
    drain();
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(window()->attachedSheet(), nullptr);
    EXPECT_EQ(form->nameField()->stringValue(), c.name);
    EXPECT_EQ(form->bodyField()->string(), c.body);

    form->cancelAction();
    window()->attachedSheet()->pressButton(0);  // "Yes"
    drain();
    EXPECT_FALSE(window()->isVisible());
    EXPECT_EQ(form->nameField()->stringValue(), c.name);  // closing clears nothing
  }
}

TEST_F(FeedbackWindow, SenderAddressFallsBackToOneMadeFromTheApplication) {
  struct Case {
    const char* name;
    const char* identifier;
    const char* email;
    const char* expected;
  };
  const Case cases[] = {
      {"Pelmora", "com.maker.Pelmora", "", "pelmora@feedback.maker.com"},
      {"Pelmora", "com.maker.Pelmora", " ", " "},
      {"Pelmora", "com.maker.Pelmora", "Ann@Example.ORG ", "Ann@Example.ORG "},
      {"Pelmora", "Pelmora", "", "pelmora@feedback."},
      {"Pelmora", "", "", "pelmora@feedback."},
      {"Pelmora", ".org..maker.sub.App.", "", "pelmora@feedback.sub.maker.org"},
      {"ISTANBUL Straße", "a.b", "", "istanbul straße@feedback.a"},
      {"", "com.maker.Pelmora", "", "@feedback.maker.com"},
  };
  for (const auto& c : cases) {
    platform::ScopedInfoDictionary scoped(
        platform::InfoDictionary{{"CFBundleName", std::string(c.name)}, {"CFBundleIdentifier", std::string(c.identifier)}});
    setSharedWindowController(nullptr);
    const auto form = showForm();
    form->emailField()->setStringValue(c.email);
    EXPECT_EQ(form->senderAddress(), c.expected) << c.name << " " << c.identifier;
  }
}

TEST_F(FeedbackWindow, RequestComponentsCarryTheFormInOrder) {
  struct Case {
    std::optional<std::string> endpoint;  // the entry's text; nothing: no entry
    const char* expectedPrefix;           // nothing: the press does nothing
  };
  const Case cases[] = {
      {std::nullopt, "https://feedback.pelmora-zava.invalid/email/app-feedback?"},
      {"http://127.0.0.1:9/email/app-feedback?old=1&NAME=x#top", "http://127.0.0.1:9/email/app-feedback?"},
      {"http://[::1", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    platform::ScopedInfoDictionary scoped(applicationInfo(c.endpoint));
    setSharedWindowController(nullptr);
    const auto form = showForm();
    form->bodyField()->edit("Hi");
    const auto components = form->makeRequestComponents();
    if (!c.expectedPrefix) {
      EXPECT_FALSE(components) << *c.endpoint;
      form->submitForm();  // no address: nothing to wait for, nothing shown
      drain();
      EXPECT_TRUE(Application::shared().presentedErrors().empty());
      continue;
    }
    ASSERT_TRUE(components);
    const std::string query = "NAME=Pelmora%20Feedback&FROM=pelmora%40feedback.maker.com&SUBJECT=Pelmora%20Feedback"
                              "&BODY=Hi%0A%0A-------%0APelmora%201.2%20%2842%29";
    std::string expected = std::string(c.expectedPrefix) + query;
    if (c.endpoint && c.endpoint->ends_with("#top")) expected += "#top";
    EXPECT_EQ(components->string(), expected);

    form->debugEmailButton()->setState(Button::off);
    const auto items = *form->makeRequestComponents()->queryItems();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items.back(), (platform::URLQueryItem{"NOEMAIL", "on"}));
    form->debugEmailButton()->setState(Button::mixed);
    EXPECT_EQ(form->makeRequestComponents()->queryItems()->back().name, "BODY");
  }
}

TEST_F(FeedbackWindow, AMistypedEndpointEntryFallsBackToTheBuiltInOne) {
  auto info = applicationInfo();
  info.emplace("PZFeedbackEndpoint", 80);
  platform::ScopedInfoDictionary scoped(info);
  EXPECT_EQ(showForm()->makeRequestComponents()->percentEncodedHost(), "feedback.pelmora-zava.invalid");
}

TEST(ReplyFailure, StatusesAndMissingResponses) {
  const auto reply = [](std::optional<int> status, bool error) {
    platform::HTTPReply result;
    if (status) result.response = platform::HTTPResponse{*status, {}};
    if (error) result.error = platform::Error("HTTPTransport", 7, "Failed to connect");
    return result;
  };
  for (const int status : {200, 204, 299}) EXPECT_FALSE(failureOf(reply(status, false))) << status;

  for (const int status : {199, 300, 404, 500}) {
    const auto failure = failureOf(reply(status, false));
    ASSERT_TRUE(failure) << status;
    EXPECT_EQ(failure->domain(), "ContactForm");
    EXPECT_EQ(failure->code(), 1);
    EXPECT_EQ(failure->description(), "Your feedback could not be sent.");
    EXPECT_EQ(failure->failureReason(), "The server answered with HTTP status " + std::to_string(status) + ".");
    ASSERT_EQ(failure->userInfo().size(), 1u);
    EXPECT_EQ(failure->userInfo().get<std::int64_t>("HTTP status code"), status);
  }

  const auto notHTTP = failureOf(reply(std::nullopt, false));
  ASSERT_TRUE(notHTTP);
  EXPECT_EQ(notHTTP->failureReason(), "The server's answer was not an HTTP response.");
  EXPECT_TRUE(notHTTP->userInfo().empty());

  const auto transport = failureOf(reply(std::nullopt, true));
  ASSERT_TRUE(transport);
  EXPECT_EQ(transport->domain(), "HTTPTransport");
  EXPECT_EQ(transport->code(), 7);
}

}  // namespace
}  // namespace ContactForm
