#pragma once
// How the feedback form judges a reply: what to present when it is not a success.

#include <optional>

#include "platform/core/Error.hpp"
#include "platform/net/HTTPTransport.hpp"

namespace ContactForm {

/// The error the form presents when a reply came without a transport error but was not a
/// success: domain "ContactForm", code 1, with the status in its user information when there is one.
platform::Error notDeliveredError(std::optional<int> statusCode);

/// Nothing for a success (an HTTP status of 200 to 299 and no error); otherwise the transport's
/// error, or the not-delivered error.
std::optional<platform::Error> failureOf(const platform::HTTPReply& reply);

}  // namespace ContactForm
