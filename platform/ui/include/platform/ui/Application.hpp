#pragma once
// The application as the headless view layer sees it: which window is main and which is
// key (an attached sheet is key while its window is), and the errors presented to the
// person, in order. Main thread only.

#include <memory>
#include <vector>

#include "platform/core/Error.hpp"
#include "platform/ui/Window.hpp"

namespace platform::ui {

class Application {
 public:
  static Application& shared();

  /// The window shown last that is still visible.
  std::shared_ptr<Window> mainWindow() const;
  /// The main window, or the sheet attached to it.
  std::shared_ptr<Window> keyWindow() const;
  void presentError(const Error& error);
  const std::vector<Error>& presentedErrors() const noexcept { return presentedErrors_; }
  /// Forgets the windows and the presented errors, so that each test starts afresh.
  void reset();

 private:
  friend class Window;
  void windowShown(const std::shared_ptr<Window>& window);

  std::weak_ptr<Window> main_;
  std::vector<Error> presentedErrors_;
};

}  // namespace platform::ui
