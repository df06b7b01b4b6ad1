#include "ReplyFailure.hpp"

#include <cstdint>
#include <string>

namespace ContactForm {

platform::Error notDeliveredError(std::optional<int> statusCode) {
  platform::Error::Details details;
  if (statusCode) {
    details.failureReason = "The server answered with HTTP status " + std::to_string(*statusCode) + ".";
    details.userInfo.add("HTTP status code", static_cast<std::int64_t>(*statusCode));
  } else {
    details.failureReason = "The server's answer was not an HTTP response.";
  }
  return platform::Error("ContactForm", 1, "Your feedback could not be sent.", std::move(details));
}

std::optional<platform::Error> failureOf(const platform::HTTPReply& reply) {
  if (reply.error) return reply.error;
  if (!reply.response) return notDeliveredError(std::nullopt);
  const int status = reply.response->statusCode;
  if (status >= 200 && status <= 299) return std::nullopt;
  return notDeliveredError(status);
}

}  // namespace ContactForm
