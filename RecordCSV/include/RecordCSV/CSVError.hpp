#pragma once
// The one error class of the CSV module, generic over the component that fails.

#include <concepts>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "platform/core/Error.hpp"
#include "platform/io/Stream.hpp"

namespace RecordCSV {

/// A component that owns a family of failures: their kinds (integer raw values are
/// the error codes), its domain word, its plain type name and a title per kind.
template <typename F>
concept Failable = requires(typename F::Failure failure) {
  requires std::is_enum_v<typename F::Failure>;
  { F::errorDomain } -> std::convertible_to<std::string_view>;
  { F::typeName } -> std::convertible_to<std::string_view>;
  { F::errorDescription(failure) } -> std::convertible_to<std::string_view>;
};

/// What a component records about a failure for the code that catches it, beside the texts
/// meant for people: the component's `Fault` type when it has one, else nothing.
template <typename F>
struct FaultOf {
  struct type {};
};
template <typename F>
  requires requires { typename F::Fault; }
struct FaultOf<F> {
  using type = typename F::Fault;
};

template <typename F>
class CSVError : public platform::Error {
 public:
  using Failure = typename F::Failure;
  using Fault = typename FaultOf<F>::type;

  /// What went wrong goes in `failureReason`, what to do in `helpAnchor`.
  CSVError(Failure type, std::string failureReason, std::string helpAnchor, platform::UserInfo userInfo = {},
           std::exception_ptr underlyingError = nullptr)
      : platform::Error("RecordCSV." + std::string(F::errorDomain), static_cast<std::int64_t>(type),
                        std::string(F::errorDescription(type)),
                        Details{std::move(failureReason), std::nullopt, std::move(helpAnchor), std::move(userInfo),
                                std::move(underlyingError)}),
        type_(type) {
    const auto file = this->userInfo().template get<std::string>("File URL");  // the member: the argument is moved from
    if (file && !file->empty()) appendToSummary(" (file " + *file + ")");
  }

  Failure type() const noexcept { return type_; }
  /// Why and where, as data; none of it is in the texts, the user information or `what()`.
  const Fault& fault() const noexcept { return fault_; }
  CSVError& withFault(Fault fault) {
    fault_ = std::move(fault);
    return *this;
  }

  /// Names the stream that failed at the end of `what()`, for callers that print only that.
  CSVError& namingStream(const platform::Stream& stream) {
    appendToSummary(" (" + stream.description() + ")");
    return *this;
  }

  std::string debugDescription() const override {
    // Appended piece by piece: "[" + std::string(...) trips a false -Wrestrict in optimised GCC 12 builds.
    std::string text = "[";
    text.append(F::typeName).append("] ").append(description()).append(debugDetailLines());
    return text;
  }

 private:
  Failure type_;
  Fault fault_{};
};

}  // namespace RecordCSV
