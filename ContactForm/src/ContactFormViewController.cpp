#include "ContactForm/ContactFormViewController.hpp"

#include <algorithm>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/core/Log.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/ui/Alert.hpp"
#include "platform/ui/Window.hpp"

namespace ContactForm {

using namespace platform::ui;

namespace {

std::shared_ptr<TextField> label(std::string text) {
  auto field = std::make_shared<TextField>();
  field->setStringValue(std::move(text));
  return field;
}

bool holdsMoreThanWhiteSpace(std::string_view text) {
  const platform::CharacterSet& blank = platform::CharacterSet::whitespacesAndNewlines();
  const std::u32string scalars = platform::toScalars(text);
  return std::any_of(scalars.begin(), scalars.end(), [&](char32_t scalar) { return !blank.contains(scalar); });
}

}  // namespace

ContactFormViewController::ContactFormViewController()
    : info_(AppInfo::fromMainBundle()), interfaceQueue_(platform::unowned(platform::MainQueue::shared())) {}

ContactFormViewController::~ContactFormViewController() = default;

std::shared_ptr<ContactFormViewController> ContactFormViewController::self() {
  return std::static_pointer_cast<ContactFormViewController>(shared_from_this());
}

void ContactFormViewController::loadView() {
  auto name = std::make_shared<TextField>();
  auto email = std::make_shared<TextField>();
  auto subject = std::make_shared<TextField>();
  auto body = std::make_shared<TextView>();
  auto debugEmail = std::make_shared<Button>("Send e-mail");
  debugEmail->setState(Button::on);  // so that, by default, the endpoint sends e-mail
  auto grid = std::make_shared<GridView>();
  grid->addRow({label("Name:"), name});
  grid->addRow({label("E-mail:"), email});
  grid->addRow({label("Subject:"), subject});
  grid->addRow({label("Message:"), body});
  grid->addRow({debugEmail});

  auto cancel = std::make_shared<Button>("Cancel");
  auto send = std::make_shared<Button>("Send");
  // The buttons hold the controller weakly: the window owns it, and it owns the buttons.
  std::weak_ptr<ContactFormViewController> weak = self();
  cancel->setAction([weak] {
    if (const auto controller = weak.lock()) controller->cancelAction();
  });
  send->setAction([weak] {
    if (const auto controller = weak.lock()) controller->submitAction();
  });
  send->setEnabled(formCanSend_);

  view_ = std::make_shared<GridView>();
  view_->addRow({grid});
  view_->addRow({label(versionString())});
  view_->addRow({cancel, send});

  emailGridView_ = grid;
  nameField_ = name;
  emailField_ = email;
  subjectField_ = subject;
  bodyField_ = body;
  debugEmailButton_ = debugEmail;
  sendButton_ = send;
  cancelButton_ = cancel;
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
  if (const auto send = sendButton()) send->setEnabled(canSend);
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
