#pragma once
// The feedback form: name, e-mail address, subject and message, sent as the query of one
// HTTP GET to the feedback endpoint. A 2xx reply thanks the person and closes the window;
// anything else is presented as an error with the form left as it was.
//
// Main thread only, and always held by a std::shared_ptr (a request in flight keeps its
// controller alive until the reply). The reply arrives on the controller's own transport
// thread and every interface step it causes runs on the interface queue (the main queue).
// The outlets are weak: the controls belong to the view made in `loadView`.

#include <any>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ContactForm/AppInfo.hpp"
#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/core/Error.hpp"
#include "platform/net/HTTPTransport.hpp"
#include "platform/net/URLComponents.hpp"
#include "platform/ui/Controls.hpp"
#include "platform/ui/ViewController.hpp"

namespace ContactForm {

class ContactFormViewController : public platform::ui::ViewController, public platform::ui::TextViewDelegate {
 public:
  /// The information-dictionary entry that names the endpoint.
  static constexpr std::string_view endpointKey = "PZFeedbackEndpoint";
  /// Used when that entry is missing or not text; the reserved host never resolves.
  static constexpr std::string_view builtInEndpoint = "https://feedback.pelmora-zava.invalid/email/app-feedback";
  static constexpr std::chrono::milliseconds defaultRequestTimeout{60'000};
  static constexpr int maximumRedirects = 10;

  /// Reads the application facts now; the outlets stay empty until the view is loaded.
  ContactFormViewController();
  ~ContactFormViewController() override;

  std::shared_ptr<platform::ui::GridView> emailGridView() const { return emailGridView_.lock(); }
  void setEmailGridView(std::weak_ptr<platform::ui::GridView> view) { emailGridView_ = std::move(view); }
  std::shared_ptr<platform::ui::TextField> nameField() const { return nameField_.lock(); }
  void setNameField(std::weak_ptr<platform::ui::TextField> field) { nameField_ = std::move(field); }
  std::shared_ptr<platform::ui::TextField> emailField() const { return emailField_.lock(); }
  void setEmailField(std::weak_ptr<platform::ui::TextField> field) { emailField_ = std::move(field); }
  std::shared_ptr<platform::ui::TextField> subjectField() const { return subjectField_.lock(); }
  void setSubjectField(std::weak_ptr<platform::ui::TextField> field) { subjectField_ = std::move(field); }
  std::shared_ptr<platform::ui::TextView> bodyField() const { return bodyField_.lock(); }
  void setBodyField(std::weak_ptr<platform::ui::TextView> view) { bodyField_ = std::move(view); }
  /// Off asks the endpoint not to send e-mail; it starts on, in a hidden row.
  std::shared_ptr<platform::ui::Button> debugEmailButton() const { return debugEmailButton_.lock(); }
  void setDebugEmailButton(std::weak_ptr<platform::ui::Button> button) { debugEmailButton_ = std::move(button); }
  /// The buttons that send `submitAction` and `cancelAction`.
  std::shared_ptr<platform::ui::Button> sendButton() const { return sendButton_.lock(); }
  std::shared_ptr<platform::ui::Button> cancelButton() const { return cancelButton_.lock(); }
  /// The form's whole view, once loaded.
  const std::shared_ptr<platform::ui::GridView>& view() const noexcept { return view_; }

  const AppInfo& info() const noexcept { return info_; }
  std::string versionString() const { return info_.versionString(); }

  /// True while the message holds more than white space; the send button is enabled exactly then.
  bool formCanSend() const noexcept { return formCanSend_; }
  void setFormCanSend(bool canSend);
  /// Announces each change of `formCanSend` with its new value.
  platform::Subject<bool>& formCanSendChanges() noexcept { return formCanSendChanges_; }

  /// Name, e-mail address and message all empty (the subject does not count).
  bool isFormEmpty() const;
  /// The e-mail field as typed, or one made from the application's name and identifier.
  std::string senderAddress() const;
  /// The endpoint with the form as its only query; nothing when the endpoint does not parse.
  std::optional<platform::URLComponents> makeRequestComponents() const;
  /// Starts one request and returns at once; nothing happens when the components make no address.
  void submitForm();
  /// Closes an empty form at once; otherwise asks first, in a sheet.
  void cancelForm();
  /// The buttons' actions; the sender is not read.
  void submitAction(const std::any& = {}) { submitForm(); }
  void cancelAction(const std::any& = {}) { cancelForm(); }

  void textDidChange() override;

  /// How long connecting, or a pause in the reply, may last before the request fails.
  std::chrono::milliseconds requestTimeout() const noexcept { return requestTimeout_; }
  void setRequestTimeout(std::chrono::milliseconds timeout) noexcept { requestTimeout_ = timeout; }
  /// Where the reply's interface steps run: the main queue unless replaced (tests wrap it to
  /// learn that a reply has arrived).
  void setInterfaceQueue(std::shared_ptr<platform::Executor> queue) { interfaceQueue_ = std::move(queue); }

 protected:
  void loadView() override;
  void viewDidLoad() override;

 private:
  std::shared_ptr<ContactFormViewController> self();
  // On the transport's thread: decides, then hops to the interface queue.
  void handleReply(const platform::HTTPReply& reply, int closedWhenSent);
  void showThankYou();
  void presentFailure(const platform::Error& error);
  // Whether the window still shows what it showed when the request was sent.
  bool stillShowing(int closedWhenSent) const;
  // Closes the window and ends the sheets still waiting on it.
  void closeWindow();

  std::weak_ptr<platform::ui::GridView> emailGridView_;
  std::weak_ptr<platform::ui::TextField> nameField_;
  std::weak_ptr<platform::ui::TextField> emailField_;
  std::weak_ptr<platform::ui::TextField> subjectField_;
  std::weak_ptr<platform::ui::TextView> bodyField_;
  std::weak_ptr<platform::ui::Button> debugEmailButton_;
  std::weak_ptr<platform::ui::Button> sendButton_;
  std::weak_ptr<platform::ui::Button> cancelButton_;
  AppInfo info_;
  bool formCanSend_ = false;
  platform::Subject<bool> formCanSendChanges_;

  std::shared_ptr<platform::ui::GridView> view_;  // holds every control; the outlets point into it
  std::chrono::milliseconds requestTimeout_ = defaultRequestTimeout;
  std::shared_ptr<platform::Executor> interfaceQueue_;
  std::unique_ptr<platform::HTTPTransport> transport_;  // made at the first send
};

}  // namespace ContactForm
