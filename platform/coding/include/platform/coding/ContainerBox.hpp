#pragma once
// Owns one container implementation behind its abstract base, in place when it is small
// enough and moves without throwing (so handing out a container costs no allocation),
// on the heap otherwise. Move-only.

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace platform::coding {

template <typename Base, std::size_t Size = 512>
class ContainerBox {
 public:
  template <typename Impl, typename... Args>
    requires std::derived_from<Impl, Base>
  static ContainerBox make(Args&&... args) {
    ContainerBox box;
    if constexpr (sizeof(Impl) <= Size && alignof(Impl) <= alignof(std::max_align_t) &&
                  std::is_nothrow_move_constructible_v<Impl>) {
      box.object_ = ::new (static_cast<void*>(box.storage_)) Impl(std::forward<Args>(args)...);
      box.relocate_ = [](void* from, void* to) noexcept -> Base* {
        Impl* source = std::launder(static_cast<Impl*>(from));
        Base* moved = ::new (to) Impl(std::move(*source));
        source->~Impl();
        return moved;
      };
    } else {
      box.object_ = new Impl(std::forward<Args>(args)...);
    }
    return box;
  }

  ContainerBox(ContainerBox&& other) noexcept { take(other); }
  ContainerBox& operator=(ContainerBox&& other) noexcept {
    if (this != &other) {
      reset();
      take(other);
    }
    return *this;
  }
  ~ContainerBox() { reset(); }

  Base* get() const noexcept { return object_; }
  Base& operator*() const noexcept { return *object_; }
  Base* operator->() const noexcept { return object_; }

 private:
  using Relocate = Base* (*)(void* from, void* to) noexcept;

  ContainerBox() = default;
  void take(ContainerBox& other) noexcept {
    relocate_ = other.relocate_;
    if (other.object_ && relocate_)
      object_ = relocate_(other.storage_, storage_);
    else
      object_ = other.object_;
    other.object_ = nullptr;
  }
  void reset() noexcept {
    if (!object_) return;
    if (relocate_)
      object_->~Base();
    else
      delete object_;
    object_ = nullptr;
  }

  alignas(std::max_align_t) std::byte storage_[Size];
  Base* object_ = nullptr;
  Relocate relocate_ = nullptr;  // null when the object is on the heap
};

}  // namespace platform::coding
