#pragma once
// The feedback form: name, e-mail address, subject and message, sent as the query of one
// HTTP GET to the feedback endpoint. A 2xx reply thanks the person and closes the window;
// anything else is presented as an error with the form left as it was.
//
// Main thread only, and always held by a std::shared_ptr (a request in flight keeps its
// controller alive until the reply). The reply arrives on the controller's own transport
// thread and every interface step it causes runs on the interface queue (the main queue).
// The controls come from the interface file "ContactFormViewController" of the form's
// resource bundle; the outlets are weak, the controls belonging to the view built from it.

#include <any>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ContactForm/AppInfo.hpp"
#include "platform/concurrency/Executor.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/core/Error.hpp"
#include "platform/net/HTTPTransport.hpp"
#include "platform/net/URLComponents.hpp"
#include "platform/ui/Controls.hpp"
#include "platform/ui/Interface.hpp"
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

  /// The form of the interface file in the form's resource bundle, which is looked up now
  /// (the process stops when there is none). Reads the application facts now; the outlets
  /// stay empty until the view is loaded.
  ContactFormViewController();
  /// The form of an interface node already read, as an interface file holding this controller
  /// would make it; otherwise as above.
  explicit ContactFormViewController(platform::ui::InterfaceNode node);
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
  /// The buttons that send `submitAction` and `cancelAction`, when the interface file connects them.
  std::shared_ptr<platform::ui::Button> sendButton() const { return sendButton_.lock(); }
  std::shared_ptr<platform::ui::Button> cancelButton() const { return cancelButton_.lock(); }

  const AppInfo& info() const noexcept { return info_; }
  std::string versionString() const { return info_.versionString(); }

  /// True while the message holds more than white space; the interface file binds the send button's
  /// "enabled" to it.
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

  /// The six outlets above; a file may also connect "sendButton" and "cancelButton".
  std::vector<std::string_view> requiredOutlets() const override;
  /// "submitAction:" and "cancelAction:".
  std::vector<std::string_view> requiredActions() const override;
  bool setOutlet(std::string_view name, const std::shared_ptr<platform::ui::View>& view) override;
  std::function<void()> action(std::string_view selector) override;
  /// A button's "enabled" to "formCanSend", a text field's "value" to "versionString".
  bool bind(const std::shared_ptr<platform::ui::View>& view, std::string_view binding,
            std::string_view keyPath) override;

  /// How long connecting, or a pause in the reply, may last before the request fails.
  std::chrono::milliseconds requestTimeout() const noexcept { return requestTimeout_; }
  void setRequestTimeout(std::chrono::milliseconds timeout) noexcept { requestTimeout_ = timeout; }
  /// Where the reply's interface steps run: the main queue unless replaced (tests wrap it to
  /// learn that a reply has arrived).
  void setInterfaceQueue(std::shared_ptr<platform::Executor> queue) { interfaceQueue_ = std::move(queue); }

 protected:
  void viewDidLoad() override;

 private:
  std::shared_ptr<ContactFormViewController> self();
  // On the transport's thread: decides, then hops to the interface queue.
  void handleReply(const platform::HTTPReply& reply);
  void showThankYou();
  void presentFailure(const platform::Error& error);
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
  std::vector<platform::AnyCancellable> bindings_;

  std::chrono::milliseconds requestTimeout_ = defaultRequestTimeout;
  std::shared_ptr<platform::Executor> interfaceQueue_;
  std::unique_ptr<platform::HTTPTransport> transport_;  // made at the first send
};

}  // namespace ContactForm
