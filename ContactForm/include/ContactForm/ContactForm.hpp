#pragma once
// The object the application's "Send Feedback" command reaches, and the one feedback window
// it shows. The window controller is made once, on first use from any thread, and kept; it
// can be replaced (tests start each case with a fresh one). The window itself belongs to the
// main thread.

#include <any>
#include <memory>

#include "platform/ui/Window.hpp"

namespace ContactForm {

class ContactForm {
 public:
  virtual ~ContactForm() = default;
  /// Shows the feedback window (the same one every time) and makes it key.
  virtual void sendFeedback(const std::any& sender = {});
};

/// The feedback window's controller, made on first use: a "Send Feedback" window, 480 by 400
/// at least, titled and closable only, never full screen, showing a ContactFormViewController.
std::shared_ptr<platform::ui::WindowController> sharedWindowController();
/// Replaces it; null has the next use make a new one.
void setSharedWindowController(std::shared_ptr<platform::ui::WindowController> controller);

}  // namespace ContactForm
