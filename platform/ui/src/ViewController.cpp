#include "platform/ui/ViewController.hpp"

#include "platform/ui/Application.hpp"

namespace platform::ui {

void ViewController::loadViewIfNeeded() {
  if (loaded_) return;
  loaded_ = true;
  loadView();
  viewDidLoad();
}

void ViewController::presentError(const Error& error) { Application::shared().presentError(error); }

}  // namespace platform::ui
