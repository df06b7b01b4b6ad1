#include "platform/ui/Alert.hpp"

#include "platform/concurrency/MainQueue.hpp"
#include "platform/ui/Window.hpp"

namespace platform::ui {

std::shared_ptr<Alert> Alert::make() { return std::shared_ptr<Alert>(new Alert()); }

std::shared_ptr<Button> Alert::addButton(std::string title) {
  buttons_.push_back(std::make_shared<Button>(std::move(title)));
  return buttons_.back();
}

std::vector<std::string> Alert::buttonTitles() const {
  if (buttons_.empty()) return {"OK"};
  std::vector<std::string> titles;
  for (const auto& button : buttons_) titles.push_back(button->title());
  return titles;
}

void Alert::beginSheetModal(const std::shared_ptr<Window>& window, Completion completion) {
  completion_ = std::move(completion);
  parent_ = window;
  sheetWindow_ = Window::make();
  window->attach(shared_from_this());
}

void Alert::pressButton(std::size_t index) { end(alertFirstButtonReturn + static_cast<ModalResponse>(index)); }

void Alert::end(ModalResponse response) {
  const auto parent = parent_.lock();
  if (!parent || parent->attachedSheet().get() != this) return;  // not attached, or still waiting its turn
  parent->detach(*this);
  sheetWindow_.reset();
  if (Completion completion = std::move(completion_))
    MainQueue::shared().async([completion = std::move(completion), response] { completion(response); });
}

}  // namespace platform::ui
