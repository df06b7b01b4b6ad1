#pragma once
// An alert shown as a sheet on a window: a message and buttons in the order added. Ending
// it with a button's response (1000 for the first, then 1001, ...) detaches it and runs its
// completion on the main queue; a sheet begun while another is attached waits its turn.
// Main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Controls.hpp"

namespace platform::ui {

class Window;

using ModalResponse = std::int64_t;
constexpr ModalResponse alertFirstButtonReturn = 1000;
/// What a sheet ended without a button answers.
constexpr ModalResponse modalResponseStop = -1000;

class Alert : public std::enable_shared_from_this<Alert> {
 public:
  using Completion = std::function<void(ModalResponse)>;

  static std::shared_ptr<Alert> make();

  const std::string& messageText() const noexcept { return messageText_; }
  void setMessageText(std::string text) { messageText_ = std::move(text); }
  const std::string& informativeText() const noexcept { return informativeText_; }
  void setInformativeText(std::string text) { informativeText_ = std::move(text); }
  std::shared_ptr<Button> addButton(std::string title);
  /// The buttons added; an alert without any shows one default "OK" button.
  std::vector<std::string> buttonTitles() const;

  /// Attaches the alert to `window` as a sheet, or queues it behind the attached one.
  void beginSheetModal(const std::shared_ptr<Window>& window, Completion completion);
  /// The window that stands for the sheet while it is attached (it is then the key window).
  const std::shared_ptr<Window>& sheetWindow() const noexcept { return sheetWindow_; }
  /// Ends the sheet as a click on the button with this index would.
  void pressButton(std::size_t index);
  void end(ModalResponse response);

 private:
  Alert() = default;
  friend class Window;

  std::string messageText_;
  std::string informativeText_;
  std::vector<std::shared_ptr<Button>> buttons_;
  std::shared_ptr<Window> sheetWindow_;
  std::weak_ptr<Window> parent_;
  Completion completion_;
};

}  // namespace platform::ui
