#pragma once
// The failures of the coding interface itself, as opposed to a coder's own errors:
// a decoded value of the wrong type, a missing value or key, corrupted data, and a
// value that cannot be encoded. Each carries the coding path where it happened;
// `what()` is the debug text.

#include <any>
#include <exception>
#include <optional>
#include <string>

#include "platform/coding/CodingKey.hpp"
#include "platform/core/Error.hpp"

namespace platform::coding {

/// Where a coding failure happened and why.
struct CodingErrorContext {
  CodingPath codingPath;
  std::string debugDescription;
  std::exception_ptr underlyingError;
};

class DecodingError : public platform::Error {
 public:
  enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

  /// A value was found, but not of the type asked for (named by `type`).
  static DecodingError typeMismatch(std::string_view type, CodingErrorContext context);
  /// The value of type `type` is absent.
  static DecodingError valueNotFound(std::string_view type, CodingErrorContext context);
  static DecodingError keyNotFound(CodingKey key, CodingErrorContext context);
  static DecodingError dataCorrupted(CodingErrorContext context);

  template <typename T>
  static DecodingError typeMismatch(CodingErrorContext context) {
    return typeMismatch(typeName<T>(), std::move(context));
  }
  template <typename T>
  static DecodingError valueNotFound(CodingErrorContext context) {
    return valueNotFound(typeName<T>(), std::move(context));
  }

  Kind kind() const noexcept { return kind_; }
  const CodingErrorContext& context() const noexcept { return context_; }
  const CodingPath& codingPath() const noexcept { return context_.codingPath; }
  /// The type named by `typeMismatch` and `valueNotFound`; empty otherwise.
  const std::string& type() const noexcept { return type_; }
  /// The key of `keyNotFound`.
  const std::optional<CodingKey>& key() const noexcept { return key_; }

  std::string debugDescription() const override;

 private:
  DecodingError(Kind kind, std::string type, std::optional<CodingKey> key, CodingErrorContext context);

  Kind kind_;
  std::string type_;
  std::optional<CodingKey> key_;
  CodingErrorContext context_;
};

class EncodingError : public platform::Error {
 public:
  enum class Kind { invalidValue };

  /// `value` could not be encoded at the context's path.
  static EncodingError invalidValue(std::any value, CodingErrorContext context);

  Kind kind() const noexcept { return Kind::invalidValue; }
  const std::any& value() const noexcept { return value_; }
  const CodingErrorContext& context() const noexcept { return context_; }
  const CodingPath& codingPath() const noexcept { return context_.codingPath; }

  std::string debugDescription() const override;

 private:
  EncodingError(std::any value, CodingErrorContext context);

  std::any value_;
  CodingErrorContext context_;
};

}  // namespace platform::coding
