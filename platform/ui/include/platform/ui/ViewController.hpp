#pragma once
// The controller of a window's content: it makes its controls in `loadView` and prepares
// them in `viewDidLoad`, both once, when its window is made. Main thread only.

#include <memory>

#include "platform/core/Error.hpp"

namespace platform::ui {

class Window;

class ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  virtual ~ViewController() = default;

  void loadViewIfNeeded();
  bool isViewLoaded() const noexcept { return loaded_; }
  /// The window showing this controller's view, if any.
  std::shared_ptr<Window> window() const { return window_.lock(); }
  /// Shows the error to the person, as the application's standard error alert does.
  void presentError(const Error& error);

 protected:
  virtual void loadView() {}
  virtual void viewDidLoad() {}

 private:
  friend class Window;
  std::weak_ptr<Window> window_;
  bool loaded_ = false;
};

}  // namespace platform::ui
