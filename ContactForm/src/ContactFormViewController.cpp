#include "ContactForm/ContactFormViewController.hpp"

#include <algorithm>

#include "ResourceBundle.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/ui/Alert.hpp"
#include "platform/ui/Window.hpp"

namespace ContactForm {

using namespace platform::ui;

namespace {

bool holdsMoreThanWhiteSpace(std::string_view text) {
  const platform::CharacterSet& blank = platform::CharacterSet::whitespacesAndNewlines();
  const std::u32string scalars = platform::toScalars(text);
  return std::any_of(scalars.begin(), scalars.end(), [&](char32_t scalar) { return !blank.contains(scalar); });
}

// Connects `outlet` when `view` is of the outlet's kind.
template <typename Control>
bool connect(std::weak_ptr<Control>& outlet, const std::shared_ptr<View>& view) {
  auto control = std::dynamic_pointer_cast<Control>(view);
  if (!control) return false;
  outlet = control;
  return true;
}

}  // namespace

// Both start with the outlets clear and `formCanSend` false, as their members say.
ContactFormViewController::ContactFormViewController()
    : ViewController("ContactFormViewController", resourceBundle()),
      info_(AppInfo::fromMainBundle()),
      interfaceQueue_(platform::unowned(platform::MainQueue::shared())) {}

ContactFormViewController::ContactFormViewController(InterfaceNode node)
    : ViewController(std::move(node)),
      info_(AppInfo::fromMainBundle()),
      interfaceQueue_(platform::unowned(platform::MainQueue::shared())) {}

ContactFormViewController::~ContactFormViewController() = default;

std::shared_ptr<ContactFormViewController> ContactFormViewController::self() {
  return std::static_pointer_cast<ContactFormViewController>(shared_from_this());
}

std::vector<std::string_view> ContactFormViewController::requiredOutlets() const {
  return {"emailGridView", "nameField", "emailField", "subjectField", "bodyField", "debugEmailButton"};
}

std::vector<std::string_view> ContactFormViewController::requiredActions() const {
  return {"submitAction:", "cancelAction:"};
}

bool ContactFormViewController::setOutlet(std::string_view name, const std::shared_ptr<View>& view) {
  if (name == "emailGridView") return connect(emailGridView_, view);
  if (name == "nameField") return connect(nameField_, view);
  if (name == "emailField") return connect(emailField_, view);
  if (name == "subjectField") return connect(subjectField_, view);
  if (name == "bodyField") return connect(bodyField_, view);
  if (name == "debugEmailButton") return connect(debugEmailButton_, view);
  if (name == "sendButton") return connect(sendButton_, view);
  if (name == "cancelButton") return connect(cancelButton_, view);
  return false;
}

std::function<void()> ContactFormViewController::action(std::string_view selector) {
  // The controls hold the controller weakly: the window owns it, and it owns the controls.
  std::weak_ptr<ContactFormViewController> weak = self();
  if (selector == "submitAction:")
    return [weak] {
      if (const auto controller = weak.lock()) controller->submitAction();
    };
  if (selector == "cancelAction:")
    return [weak] {
      if (const auto controller = weak.lock()) controller->cancelAction();
    };
  return {};
}

bool ContactFormViewController::bind(const std::shared_ptr<View>& view, std::string_view binding,
                                     std::string_view keyPath) {
  if (binding == "enabled" && keyPath == "formCanSend") {
    const auto button = std::dynamic_pointer_cast<Button>(view);
    if (!button) return false;
    button->setEnabled(formCanSend_);
    std::weak_ptr<Button> weak = button;
    formCanSendChanges_
        .sink([weak](bool canSend) {
          if (const auto control = weak.lock()) control->setEnabled(canSend);
        })
        .store(bindings_);
    return true;
  }
  if (binding == "value" && keyPath == "versionString") {
    const auto field = std::dynamic_pointer_cast<TextField>(view);
    if (!field) return false;
    field->setStringValue(versionString());  // `info` never changes, nor does this
    return true;
  }
  return false;
}

void ContactFormViewController::viewDidLoad() {
  if (const auto subject = subjectField()) subject->setStringValue(info_.name + " Feedback");
  if (const auto body = bodyField()) body->setDelegate(std::shared_ptr<TextViewDelegate>(self(), this));
  const auto grid = emailGridView();
  const auto debugEmail = debugEmailButton();
  if (grid && debugEmail)
    if (const auto row = grid->rowOf(*debugEmail)) grid->row(*row).hidden = true;
}

void ContactFormViewController::setFormCanSend(bool canSend) {
  const bool changed = canSend != formCanSend_;
  formCanSend_ = canSend;
  if (changed) formCanSendChanges_.send(canSend);
}

void ContactFormViewController::textDidChange() {
  const auto body = bodyField();
  setFormCanSend(body && holdsMoreThanWhiteSpace(body->string()));
}

bool ContactFormViewController::isFormEmpty() const {
  const auto name = nameField();
  const auto email = emailField();
  const auto body = bodyField();
  return (!name || name->stringValue().empty()) && (!email || email->stringValue().empty()) &&
         (!body || body->string().empty());
}

void ContactFormViewController::cancelForm() {
  if (isFormEmpty()) {
    platform::log("Form is empty. Dismissing feedback window");
    closeWindow();
    return;
  }
  const auto window = this->window();
  if (!window) return;
  const auto alert = Alert::make();
  alert->setMessageText("Are you sure you want to cancel?");
  alert->addButton("Yes");
  alert->addButton("No");
  alert->beginSheetModal(window, [controller = self()](ModalResponse response) {
    if (response == alertFirstButtonReturn) controller->closeWindow();
  });
}

void ContactFormViewController::closeWindow() {
  const auto window = this->window();
  if (!window) return;
  window->close();
  // A sheet that waits on a closed window would greet the person when it is shown again.
  while (const auto sheet = window->attachedSheet()) sheet->end(modalResponseStop);
}

}  // namespace ContactForm
