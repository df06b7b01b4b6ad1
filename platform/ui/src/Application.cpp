#include "platform/ui/Application.hpp"

namespace platform::ui {

Application& Application::shared() {
  static Application application;
  return application;
}

std::shared_ptr<Window> Application::mainWindow() const {
  auto window = main_.lock();
  return window && window->isVisible() ? window : nullptr;
}

std::shared_ptr<Window> Application::keyWindow() const {
  const auto main = mainWindow();
  if (!main) return nullptr;
  const auto sheet = main->attachedSheet();
  return sheet ? sheet->sheetWindow() : main;
}

void Application::presentError(const Error& error) { presentedErrors_.push_back(error); }

void Application::reset() {
  main_.reset();
  presentedErrors_.clear();
}

void Application::windowShown(const std::shared_ptr<Window>& window) { main_ = window; }

}  // namespace platform::ui
