#pragma once
// A non-owning reference to a callable, for callbacks that run before the call that
// takes them returns: nothing is allocated, and the callable must outlive the call.

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace platform::coding {

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
 public:
  template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
  FunctionRef(F&& function) noexcept  // NOLINT: converting from any callable is the point
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(function)))),
        call_([](void* object, Args... args) -> R {
          return std::invoke(*static_cast<std::remove_reference_t<F>*>(object), std::forward<Args>(args)...);
        }) {}

  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  void* object_;
  R (*call_)(void*, Args...);
};

}  // namespace platform::coding
