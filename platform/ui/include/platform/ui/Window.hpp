#pragma once
// A window of the headless view layer and its controller: title, size limits, style,
// visibility, and the sheets attached to it. Showing a window makes it the application's
// key and main window; closing it hides it. Main thread only.

#include <any>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/ui/Alert.hpp"
#include "platform/ui/ViewController.hpp"

namespace platform::ui {

struct Size {
  double width = 0;
  double height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

namespace StyleMask {
constexpr std::uint64_t titled = 1;
constexpr std::uint64_t closable = 2;
constexpr std::uint64_t miniaturizable = 4;
constexpr std::uint64_t resizable = 8;
}  // namespace StyleMask

namespace CollectionBehavior {
constexpr std::uint64_t fullScreenNone = 512;
}

class Window : public std::enable_shared_from_this<Window> {
 public:
  /// A window showing the controller's view; the controller's view is loaded now.
  static std::shared_ptr<Window> withContentViewController(std::shared_ptr<ViewController> controller);
  static std::shared_ptr<Window> make();

  const std::string& title() const noexcept { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  Size minSize() const noexcept { return minSize_; }
  void setMinSize(Size size) noexcept { minSize_ = size; }
  std::uint64_t styleMask() const noexcept { return styleMask_; }
  void setStyleMask(std::uint64_t mask) noexcept { styleMask_ = mask; }
  std::uint64_t collectionBehavior() const noexcept { return collectionBehavior_; }
  void setCollectionBehavior(std::uint64_t behavior) noexcept { collectionBehavior_ = behavior; }
  const std::shared_ptr<ViewController>& contentViewController() const noexcept { return content_; }

  bool isVisible() const noexcept { return visible_; }
  void makeKeyAndOrderFront();
  void close();
  /// How often the window was shown; tests tell a window shown again from one left open.
  int timesShown() const noexcept { return timesShown_; }

  /// The sheet attached now, if any; others wait behind it.
  std::shared_ptr<Alert> attachedSheet() const { return sheets_.empty() ? nullptr : sheets_.front(); }
  std::size_t queuedSheetCount() const noexcept { return sheets_.size(); }
  /// Ends the attached sheet whose window is `sheetWindow` (its completion hears `response`).
  void endSheet(const Window& sheetWindow, ModalResponse response = modalResponseStop);

 private:
  Window() = default;
  friend class Alert;
  void attach(std::shared_ptr<Alert> alert);
  void detach(const Alert& alert);

  std::string title_;
  Size minSize_;
  std::uint64_t styleMask_ = StyleMask::titled | StyleMask::closable | StyleMask::miniaturizable | StyleMask::resizable;
  std::uint64_t collectionBehavior_ = 0;
  std::shared_ptr<ViewController> content_;
  bool visible_ = false;
  int timesShown_ = 0;
  std::deque<std::shared_ptr<Alert>> sheets_;
};

class WindowController {
 public:
  explicit WindowController(std::shared_ptr<Window> window) : window_(std::move(window)) {}
  const std::shared_ptr<Window>& window() const noexcept { return window_; }
  /// Shows the window and makes it key; the sender is not read.
  void showWindow(const std::any& sender = {});

 private:
  std::shared_ptr<Window> window_;
};

}  // namespace platform::ui
