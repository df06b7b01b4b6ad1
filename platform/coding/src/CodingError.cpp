#include "platform/coding/CodingError.hpp"

namespace platform::coding {
namespace {

constexpr std::string_view decodingDomain = "DecodingError";
constexpr std::string_view encodingDomain = "EncodingError";

std::string_view kindName(DecodingError::Kind kind) {
  switch (kind) {
    case DecodingError::Kind::typeMismatch: return "typeMismatch";
    case DecodingError::Kind::valueNotFound: return "valueNotFound";
    case DecodingError::Kind::keyNotFound: return "keyNotFound";
    case DecodingError::Kind::dataCorrupted: return "dataCorrupted";
  }
  return "";
}

platform::Error::Details details(const CodingErrorContext& context) {
  platform::Error::Details result;
  result.underlyingError = context.underlyingError;
  return result;
}

std::string contextLines(const CodingErrorContext& context) {
  std::string text = "\nCoding path: " + context.codingPath.description();
  if (context.underlyingError) text += "\nUnderlying error: " + describe(context.underlyingError);
  return text;
}

}  // namespace

DecodingError::DecodingError(Kind kind, std::string type, std::optional<CodingKey> key, CodingErrorContext context)
    : platform::Error(std::string(decodingDomain), static_cast<std::int64_t>(kind), context.debugDescription,
                      details(context)),
      kind_(kind),
      type_(std::move(type)),
      key_(std::move(key)),
      context_(std::move(context)) {}

DecodingError DecodingError::typeMismatch(std::string_view type, CodingErrorContext context) {
  return DecodingError(Kind::typeMismatch, std::string(type), std::nullopt, std::move(context));
}
DecodingError DecodingError::valueNotFound(std::string_view type, CodingErrorContext context) {
  return DecodingError(Kind::valueNotFound, std::string(type), std::nullopt, std::move(context));
}
DecodingError DecodingError::keyNotFound(CodingKey key, CodingErrorContext context) {
  return DecodingError(Kind::keyNotFound, {}, std::move(key), std::move(context));
}
DecodingError DecodingError::dataCorrupted(CodingErrorContext context) {
  return DecodingError(Kind::dataCorrupted, {}, std::nullopt, std::move(context));
}

std::string DecodingError::debugDescription() const {
  std::string text = "DecodingError.";
  text.append(kindName(kind_));
  if (!type_.empty()) text.append(" (").append(type_).append(")");
  if (key_) text.append(" ").append(key_->description());
  text.append(": ").append(context_.debugDescription);
  return text + contextLines(context_);
}

EncodingError::EncodingError(std::any value, CodingErrorContext context)
    : platform::Error(std::string(encodingDomain), 0, context.debugDescription, details(context)),
      value_(std::move(value)),
      context_(std::move(context)) {}

EncodingError EncodingError::invalidValue(std::any value, CodingErrorContext context) {
  return EncodingError(std::move(value), std::move(context));
}

std::string EncodingError::debugDescription() const {
  return "EncodingError.invalidValue: " + context_.debugDescription + contextLines(context_);
}

}  // namespace platform::coding
