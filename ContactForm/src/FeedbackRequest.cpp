// The request the form sends and what its reply does.

#include <ranges>

#include "ContactForm/ContactFormViewController.hpp"
#include "ContactForm/FormNames.hpp"
#include "ReplyFailure.hpp"
#include "platform/core/Log.hpp"
#include "platform/system/Bundle.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/ui/Alert.hpp"
#include "platform/ui/Window.hpp"

namespace ContactForm {
namespace {

// "com.maker.App" gives "maker.com": the identifier's parts but the last, reversed.
std::string domainOf(std::string_view bundleID) {
  std::vector<std::string_view> parts;
  for (const auto part : std::views::split(bundleID, '.'))
    if (!part.empty()) parts.emplace_back(part.begin(), part.end());
  if (!parts.empty()) parts.pop_back();
  std::string domain;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
    if (!domain.empty()) domain += '.';
    domain += *part;
  }
  return domain;
}

}  // namespace

std::string ContactFormViewController::senderAddress() const {
  if (const auto email = emailField(); email && !email->stringValue().empty()) return email->stringValue();
  return platform::lowercased(info_.name, platform::Locale::root()) + "@feedback." + domainOf(info_.bundleID);
}

std::optional<platform::URLComponents> ContactFormViewController::makeRequestComponents() const {
  const std::string endpoint =
      platform::Bundle::main().string(endpointKey).value_or(std::string(builtInEndpoint));
  std::optional<platform::URLComponents> components = platform::URLComponents::parse(endpoint);
  if (!components) return std::nullopt;

  const auto text = [](const auto& field) { return field ? field->stringValue() : std::string(); };
  std::string name = text(nameField());
  if (name.empty()) name = info_.name + " Feedback";
  const auto body = bodyField();
  std::vector<platform::URLQueryItem> items{
      {std::string(FormNames::name), std::move(name)},
      {std::string(FormNames::from), senderAddress()},
      {std::string(FormNames::subject), text(subjectField())},
      {std::string(FormNames::body), (body ? body->string() : std::string()) + info_.footer()},
  };
  if (const auto debugEmail = debugEmailButton(); debugEmail && debugEmail->state() == platform::ui::Button::off)
    items.push_back({std::string(FormNames::noEmail), "on"});
  components->setQueryItems(items);
  return components;
}

void ContactFormViewController::submitForm() {
  const auto components = makeRequestComponents();
  if (!components) return;
  const auto url = components->url();
  if (!url) return;

  platform::HTTPRequest request;
  request.url = url->absoluteString();
  request.method = "GET";
  request.maximumRedirects = maximumRedirects;
  request.sink = platform::HTTPRequest::BodySink::discard;  // never read, so never kept
  request.idleTimeout = requestTimeout_;
  request.decompress = false;

  if (!transport_) transport_ = platform::HTTPTransport::make();
  transport_->send(std::move(request), [controller = self()](platform::HTTPReply reply) { controller->handleReply(reply); });
}

// The person may have closed the window since sending. A failure is still presented, since
// the feedback was not delivered; a thank-you needs the window, so it waits for none.
void ContactFormViewController::handleReply(const platform::HTTPReply& reply) {
  std::optional<platform::Error> failure = failureOf(reply);
  interfaceQueue_->async([controller = self(), failure = std::move(failure)] {
    if (failure) {
      controller->presentFailure(*failure);
      return;
    }
    const auto window = controller->window();
    if (window && window->isVisible())
      controller->showThankYou();
    else
      platform::log("Feedback delivered after the feedback window was closed: no thank-you shown");
  });
}

void ContactFormViewController::showThankYou() {
  const auto alert = platform::ui::Alert::make();
  alert->setMessageText("Thank you for your feedback!");
  alert->beginSheetModal(window(), [controller = self()](platform::ui::ModalResponse) { controller->closeWindow(); });
}

void ContactFormViewController::presentFailure(const platform::Error& error) { presentError(error); }

}  // namespace ContactForm
