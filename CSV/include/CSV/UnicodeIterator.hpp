#pragma once
// Unicode scalars decoded from a sequence of code units by one of the codecs of
// UnicodeCodec.hpp. An ill-formed sequence, also one cut short by the end, goes to
// the error handler as `unicodeDecoding` and ends the scalars; nothing is thrown.

#include <functional>
#include <optional>
#include <utility>

#include "CSV/CSVError.hpp"
#include "CSV/UnicodeCodec.hpp"

namespace CSV {

template <typename Input, typename Codec>
  requires CodeUnitSource<Input, typename Codec::CodeUnit>
class UnicodeIterator {
 public:
  using ErrorHandler = std::function<void(const CSVError&)>;

  explicit UnicodeIterator(Input input, Codec codec = {}) : input_(std::move(input)), inputEncoding_(codec) {}

  Input& input() noexcept { return input_; }
  Codec& inputEncoding() noexcept { return inputEncoding_; }
  const ErrorHandler& errorHandler() const noexcept { return errorHandler_; }
  void setErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

  std::optional<char32_t> next() {
    const UnicodeDecodingResult result = inputEncoding_.decode(input_);
    if (result.kind == UnicodeDecodingResult::Kind::scalar) return result.scalar;
    if (result.kind == UnicodeDecodingResult::Kind::error && errorHandler_) errorHandler_(CSVError::unicodeDecoding());
    return std::nullopt;
  }

 private:
  Input input_;
  Codec inputEncoding_;
  ErrorHandler errorHandler_;
};

}  // namespace CSV
