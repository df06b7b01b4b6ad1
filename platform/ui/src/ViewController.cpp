#include "platform/ui/ViewController.hpp"

#include "InterfaceBuilder.hpp"
#include "platform/ui/Application.hpp"
#include "platform/ui/Controls.hpp"

namespace platform::ui {

ViewController::ViewController(std::string nibName, std::filesystem::path bundle)
    : nib_(std::in_place, std::move(nibName), std::move(bundle)) {}

ViewController::ViewController(InterfaceNode node) : node_(std::move(node)) {}

void ViewController::loadViewIfNeeded() {
  if (loaded_) return;
  loaded_ = true;
  loadView();
  viewDidLoad();
}

void ViewController::loadView() {
  if (!node_ && nib_) node_ = InterfaceNode::read(nib_->first, nib_->second);
  if (!node_) return;
  const InterfaceNode node = std::move(*node_);
  node_.reset();
  view_ = buildInterface(*this, node);
}

bool ViewController::setOutlet(std::string_view, const std::shared_ptr<View>&) { return false; }

std::function<void()> ViewController::action(std::string_view) { return {}; }

bool ViewController::bind(const std::shared_ptr<View>&, std::string_view, std::string_view) { return false; }

void ViewController::presentError(const Error& error) { Application::shared().presentError(error); }

}  // namespace platform::ui
