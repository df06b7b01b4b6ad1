#include "platform/ui/Window.hpp"

#include "platform/ui/Application.hpp"

namespace platform::ui {

std::shared_ptr<Window> Window::make() { return std::shared_ptr<Window>(new Window()); }

std::shared_ptr<Window> Window::withContentViewController(std::shared_ptr<ViewController> controller) {
  std::shared_ptr<Window> window = make();
  controller->window_ = window;
  window->content_ = std::move(controller);
  window->content_->loadViewIfNeeded();
  return window;
}

void Window::makeKeyAndOrderFront() {
  visible_ = true;
  ++timesShown_;
  Application::shared().windowShown(shared_from_this());
}

void Window::close() {
  visible_ = false;
}

void Window::attach(std::shared_ptr<Alert> alert) { sheets_.push_back(std::move(alert)); }

void Window::detach(const Alert& alert) {
  std::erase_if(sheets_, [&](const auto& sheet) { return sheet.get() == &alert; });
}

void Window::endSheet(const Window& sheetWindow, ModalResponse response) {
  if (const auto sheet = attachedSheet(); sheet && sheet->sheetWindow().get() == &sheetWindow) sheet->end(response);
}

void WindowController::showWindow(const std::any&) {
  if (window_) window_->makeKeyAndOrderFront();
}

}  // namespace platform::ui
