#pragma once
// A pull interface over query results: `next()` yields one element, or nothing at the end,
// or throws. Cursors are shared objects (held by std::shared_ptr) used by one thread at a
// time; an adapter shares its base, so whatever anyone else pulls from the base is gone
// for the adapter too. The lazy operations that make adapters, and the eager ones that
// consume a cursor, are free functions in CursorOperations.hpp.

#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ranges>
#include <stdexcept>
#include <utility>

namespace TimeSeries {

template <typename E>
class Cursor {
 public:
  using Element = E;
  virtual ~Cursor() = default;
  /// The next element, or nothing at the end; failures are thrown.
  virtual std::optional<E> next() = 0;
};

/// A shared pointer to any cursor type.
template <typename P>
concept CursorPointer = requires(P pointer) {
  typename P::element_type::Element;
  {std::shared_ptr<Cursor<typename P::element_type::Element>>(pointer)};
};

template <CursorPointer P>
using ElementOf = typename P::element_type::Element;

/// Any cursor behind one function, or an ordinary iterator or sequence as a cursor.
template <typename E>
class AnyCursor final : public Cursor<E> {
 public:
  using Function = std::function<std::optional<E>()>;

  explicit AnyCursor(std::shared_ptr<Cursor<E>> base) : element_([base = std::move(base)] { return base->next(); }) {}
  explicit AnyCursor(Function element) : element_(std::move(element)) {}
  /// Elements from `first` until `last`, which must stay valid while the cursor is pulled.
  template <std::input_iterator I, std::sentinel_for<I> S>
  AnyCursor(I first, S last)
      : element_([first = std::move(first), last = std::move(last)]() mutable -> std::optional<E> {
          if (first == last) return std::nullopt;
          E element = *first;
          ++first;
          return element;
        }) {}
  /// The elements of a sequence that the cursor keeps; its iterator is made now.
  template <std::ranges::input_range Sequence>
  requires(!std::same_as<std::remove_cvref_t<Sequence>, AnyCursor>) explicit AnyCursor(Sequence&& sequence) {
    auto held = std::make_shared<std::remove_cvref_t<Sequence>>(std::forward<Sequence>(sequence));
    element_ = [held, position = std::ranges::begin(*held)]() mutable -> std::optional<E> {
      if (position == std::ranges::end(*held)) return std::nullopt;
      E element = *position;
      ++position;
      return element;
    };
  }

  std::optional<E> next() override { return element_(); }

 private:
  Function element_;
};

template <typename E, typename R>
class MapCursor final : public Cursor<R> {
 public:
  MapCursor(std::shared_ptr<Cursor<E>> base, std::function<R(E)> transform)
      : base_(std::move(base)), transform_(std::move(transform)) {}
  std::optional<R> next() override {
    std::optional<E> element = base_->next();
    if (!element) return std::nullopt;
    return transform_(std::move(*element));
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::function<R(E)> transform_;
};

template <typename E>
class FilterCursor final : public Cursor<E> {
 public:
  FilterCursor(std::shared_ptr<Cursor<E>> base, std::function<bool(const E&)> isIncluded)
      : base_(std::move(base)), isIncluded_(std::move(isIncluded)) {}
  std::optional<E> next() override {
    while (std::optional<E> element = base_->next())
      if (isIncluded_(*element)) return element;
    return std::nullopt;
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::function<bool(const E&)> isIncluded_;
};

template <typename E>
class EnumeratedCursor final : public Cursor<std::pair<std::int64_t, E>> {
 public:
  explicit EnumeratedCursor(std::shared_ptr<Cursor<E>> base) : base_(std::move(base)) {}
  std::optional<std::pair<std::int64_t, E>> next() override {
    std::optional<E> element = base_->next();
    if (!element) return std::nullopt;
    return std::pair<std::int64_t, E>(index_++, std::move(*element));
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::int64_t index_ = 0;
};

template <typename E>
class DropFirstCursor final : public Cursor<E> {
 public:
  /// Throws std::invalid_argument for a negative limit.
  DropFirstCursor(std::shared_ptr<Cursor<E>> base, std::int64_t limit) : base_(std::move(base)), limit_(limit) {
    if (limit < 0) throw std::invalid_argument("Can't drop a negative number of elements from a cursor");
  }
  std::optional<E> next() override {
    while (dropped_ < limit_) {
      if (!base_->next()) {
        dropped_ = limit_;
        return std::nullopt;
      }
      ++dropped_;
    }
    return base_->next();
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::int64_t limit_;
  std::int64_t dropped_ = 0;
};

template <typename E>
class DropWhileCursor final : public Cursor<E> {
 public:
  DropWhileCursor(std::shared_ptr<Cursor<E>> base, std::function<bool(const E&)> predicate)
      : base_(std::move(base)), predicate_(std::move(predicate)) {}
  std::optional<E> next() override {
    if (predicateHasFailed_) return base_->next();
    while (std::optional<E> element = base_->next()) {
      if (!predicate_(*element)) {
        predicateHasFailed_ = true;
        return element;
      }
    }
    return std::nullopt;
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::function<bool(const E&)> predicate_;
  bool predicateHasFailed_ = false;
};

template <typename E>
class PrefixCursor final : public Cursor<E> {
 public:
  PrefixCursor(std::shared_ptr<Cursor<E>> base, std::int64_t maxLength)
      : base_(std::move(base)), maxLength_(maxLength) {}
  std::optional<E> next() override {
    if (taken_ >= maxLength_) return std::nullopt;
    ++taken_;  // before the pull: a failed pull counts
    std::optional<E> element = base_->next();
    if (!element) taken_ = maxLength_;
    return element;
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::int64_t maxLength_;
  std::int64_t taken_ = 0;
};

template <typename E>
class PrefixWhileCursor final : public Cursor<E> {
 public:
  PrefixWhileCursor(std::shared_ptr<Cursor<E>> base, std::function<bool(const E&)> predicate)
      : base_(std::move(base)), predicate_(std::move(predicate)) {}
  std::optional<E> next() override {
    if (predicateHasFailed_) return std::nullopt;
    std::optional<E> element = base_->next();
    if (!element) return std::nullopt;
    if (predicate_(*element)) return element;
    predicateHasFailed_ = true;
    return std::nullopt;
  }

 private:
  std::shared_ptr<Cursor<E>> base_;
  std::function<bool(const E&)> predicate_;
  bool predicateHasFailed_ = false;
};

/// The elements of each cursor the base yields, in turn; `Inner` is the base's element, a cursor pointer.
template <CursorPointer Inner>
class FlattenCursor final : public Cursor<ElementOf<Inner>> {
 public:
  using E = ElementOf<Inner>;
  explicit FlattenCursor(std::shared_ptr<Cursor<Inner>> base) : base_(std::move(base)) {}
  std::optional<E> next() override {
    while (true) {
      if (inner_ && *inner_)
        if (std::optional<E> element = (*inner_)->next()) return element;
      std::optional<Inner> pulled = base_->next();
      if (!pulled) return std::nullopt;
      inner_ = std::move(pulled);
    }
  }

 private:
  std::shared_ptr<Cursor<Inner>> base_;
  std::optional<Inner> inner_;
};

}  // namespace TimeSeries
