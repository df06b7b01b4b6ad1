#include "ContactForm/ContactForm.hpp"

#include <mutex>

#include "ContactForm/ContactFormViewController.hpp"

namespace ContactForm {
namespace {

struct Shared {
  std::mutex mutex;
  std::shared_ptr<platform::ui::WindowController> controller;
};

Shared& shared() {
  static Shared instance;
  return instance;
}

std::shared_ptr<platform::ui::WindowController> makeWindowController() {
  auto window = platform::ui::Window::withContentViewController(std::make_shared<ContactFormViewController>());
  window->setTitle("Send Feedback");
  window->setMinSize({480, 400});
  window->setCollectionBehavior(platform::ui::CollectionBehavior::fullScreenNone);
  window->setStyleMask(platform::ui::StyleMask::titled | platform::ui::StyleMask::closable);
  return std::make_shared<platform::ui::WindowController>(std::move(window));
}

}  // namespace

void ContactForm::sendFeedback(const std::any& sender) { sharedWindowController()->showWindow(sender); }

std::shared_ptr<platform::ui::WindowController> sharedWindowController() {
  Shared& state = shared();
  std::lock_guard lock(state.mutex);
  if (!state.controller) state.controller = makeWindowController();
  return state.controller;
}

void setSharedWindowController(std::shared_ptr<platform::ui::WindowController> controller) {
  std::shared_ptr<platform::ui::WindowController> previous;
  {
    Shared& state = shared();
    std::lock_guard lock(state.mutex);
    previous = std::exchange(state.controller, std::move(controller));
  }
  // `previous` goes here, outside the lock: its window's controller may wait for its transport.
}

}  // namespace ContactForm
