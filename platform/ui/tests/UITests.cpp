#include <gtest/gtest.h>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/ui/Application.hpp"

namespace platform::ui {
namespace {

class UITest : public ::testing::Test {
 protected:
  void SetUp() override { Application::shared().reset(); }
  void TearDown() override {
    MainQueue::shared().drain();
    Application::shared().reset();
  }
};

TEST_F(UITest, SheetsQueueAndEndWithTheirButtonsResponse) {
  const auto window = Window::make();
  window->makeKeyAndOrderFront();
  EXPECT_EQ(Application::shared().mainWindow(), window);
  EXPECT_EQ(Application::shared().keyWindow(), window);

  std::vector<ModalResponse> responses;
  const auto first = Alert::make();
  first->addButton("Yes");
  first->addButton("No");
  const auto second = Alert::make();
  first->beginSheetModal(window, [&](ModalResponse response) { responses.push_back(response); });
  second->beginSheetModal(window, [&](ModalResponse response) { responses.push_back(response); });
  EXPECT_EQ(window->attachedSheet(), first);
  EXPECT_EQ(window->queuedSheetCount(), 2u);
  EXPECT_EQ(Application::shared().keyWindow(), first->sheetWindow());
  EXPECT_EQ(second->buttonTitles(), std::vector<std::string>{"OK"});

  second->pressButton(0);  // still waiting: nothing happens
  EXPECT_EQ(window->queuedSheetCount(), 2u);
  first->pressButton(1);
  EXPECT_TRUE(responses.empty());  // completions run on the main queue
  MainQueue::shared().drain();
  EXPECT_EQ(responses, std::vector<ModalResponse>{1001});
  EXPECT_EQ(window->attachedSheet(), second);

  window->endSheet(*Application::shared().keyWindow());
  MainQueue::shared().drain();
  EXPECT_EQ(responses, (std::vector<ModalResponse>{1001, modalResponseStop}));
  EXPECT_EQ(window->attachedSheet(), nullptr);

  window->close();
  EXPECT_EQ(Application::shared().mainWindow(), nullptr);
  EXPECT_EQ(Application::shared().keyWindow(), nullptr);
}

TEST_F(UITest, ControlsSendWhatAPersonsEditsWould) {
  struct Delegate : TextViewDelegate {
    int changes = 0;
    void textDidChange() override { ++changes; }
  };
  const auto delegate = std::make_shared<Delegate>();
  TextView text;
  text.setDelegate(delegate);
  text.setString("from code");
  text.edit("typed");
  EXPECT_EQ(text.string(), "typed");
  EXPECT_EQ(delegate->changes, 1);

  int presses = 0;
  Button button("Send");
  button.setAction([&] { ++presses; });
  button.press();
  button.setEnabled(false);
  button.press();
  EXPECT_EQ(presses, 1);

  GridView grid;
  const auto field = std::make_shared<TextField>();
  const auto other = std::make_shared<TextField>();
  grid.addRow({field});
  grid.addRow({std::make_shared<Button>(), other});
  EXPECT_EQ(grid.rowOf(*other), 1u);
  EXPECT_EQ(grid.rowOf(Button()), std::nullopt);
}

TEST_F(UITest, ContentControllersLoadOnceAndKnowTheirWindow) {
  struct Controller : ViewController {
    int loads = 0;
    void viewDidLoad() override { ++loads; }
  };
  const auto controller = std::make_shared<Controller>();
  const auto window = Window::withContentViewController(controller);
  controller->loadViewIfNeeded();
  EXPECT_EQ(controller->loads, 1);
  EXPECT_EQ(controller->window(), window);
  controller->presentError(Error("Test", 7, "Failed"));
  ASSERT_EQ(Application::shared().presentedErrors().size(), 1u);
  EXPECT_EQ(Application::shared().presentedErrors()[0].code(), 7);
}

}  // namespace
}  // namespace platform::ui
