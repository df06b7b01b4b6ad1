#pragma once
// The feedback form under test: a fresh shared window controller per case, a fixed
// application, and an interface queue that says when a reply has been handed to it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "ContactForm/ContactForm.hpp"
#include "ContactForm/ContactFormViewController.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/system/Bundle.hpp"
#include "platform/ui/Application.hpp"

namespace ContactForm::testing {

// Forwards to the main queue and counts what it forwarded, so that a test waits for a reply
// instead of sleeping.
class CountingQueue final : public platform::Executor {
 public:
  void async(std::function<void()> block) override {
    platform::MainQueue::shared().async(std::move(block));
    std::lock_guard lock(mutex_);
    ++count_;
    arrived_.notify_all();
  }
  // A reply that never comes ends the test binary instead of hanging it: the form would
  // outlive this queue otherwise.
  void waitFor(int count) {
    std::unique_lock lock(mutex_);
    if (arrived_.wait_for(lock, std::chrono::minutes(2), [&] { return count_ >= count; })) return;
    ADD_FAILURE() << "no reply arrived";
    std::abort();
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  int count_ = 0;
};

inline platform::InfoDictionary applicationInfo(std::optional<std::string> endpoint = std::nullopt) {
  platform::InfoDictionary info{{"CFBundleName", std::string("Pelmora")},
                                {"CFBundleVersion", std::string("42")},
                                {"CFBundleShortVersionString", std::string("1.2")},
                                {"CFBundleIdentifier", std::string("com.maker.Pelmora")}};
  if (endpoint) info.emplace("PZFeedbackEndpoint", *endpoint);
  return info;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::ui::Application::shared().reset();
    setSharedWindowController(nullptr);
  }
  void TearDown() override {
    platform::MainQueue::shared().drain();
    setSharedWindowController(nullptr);
    platform::ui::Application::shared().reset();
  }

  // Shows the feedback window through the menu's action and returns its form, with replies
  // counted by `replies`.
  std::shared_ptr<ContactFormViewController> showForm() {
    ContactForm().sendFeedback();
    auto form = std::dynamic_pointer_cast<ContactFormViewController>(
        sharedWindowController()->window()->contentViewController());
    form->setInterfaceQueue(platform::unowned(replies));
    return form;
  }
  std::shared_ptr<platform::ui::Window> window() const { return sharedWindowController()->window(); }
  static std::size_t drain() { return platform::MainQueue::shared().drain(); }

  CountingQueue replies;
};

}  // namespace ContactForm::testing
