#pragma once
// The outcome of an operation that either succeeds with a value (none for `void`)
// or fails with an error. Reading the side that is not there throws
// std::bad_variant_access; `get()` throws the failure itself.

#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

template <typename T, typename E>
class Result {
 public:
  using Success = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
  using Failure = E;

  static Result success() requires std::is_void_v<T> { return Result(std::in_place_index<0>); }
  static Result success(Success value) requires(!std::is_void_v<T>) {
    return Result(std::in_place_index<0>, std::move(value));
  }
  static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

  bool isSuccess() const noexcept { return storage_.index() == 0; }
  bool isFailure() const noexcept { return storage_.index() == 1; }

  const Success& value() const& { return std::get<0>(storage_); }
  Success& value() & { return std::get<0>(storage_); }
  Success&& value() && { return std::get<0>(std::move(storage_)); }
  const E& error() const& { return std::get<1>(storage_); }
  E&& error() && { return std::get<1>(std::move(storage_)); }

  /// The value; a failure is thrown as it is.
  Success get() const& {
    if (isFailure()) throw error();
    return value();
  }
  Success get() && {
    if (isFailure()) throw std::get<1>(std::move(storage_));
    return std::get<0>(std::move(storage_));
  }

  friend bool operator==(const Result&, const Result&) = default;

 private:
  template <std::size_t Index, typename... Args>
  explicit Result(std::in_place_index_t<Index> index, Args&&... args) : storage_(index, std::forward<Args>(args)...) {}

  std::variant<Success, E> storage_;
};

}  // namespace platform
