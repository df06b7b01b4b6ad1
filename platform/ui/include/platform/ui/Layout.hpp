#pragma once
// A small headless layout along the horizontal axis: views with a width, rows that place
// their views side by side, and stacks that line their views up on an alignment guide.
// Positions are measured in points from a container's leading edge. Layout objects are
// values that code builds and then reads; they belong to the thread that built them.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::ui {

class HorizontalAlignment;

/// A view's size as an alignment guide's value sees it.
struct ViewDimensions {
  double width = 0;
  /// The guide's default value in a view of this size.
  double operator[](const HorizontalAlignment& guide) const;
};

/// A named position on the horizontal axis, with its value in a view that sets none
/// explicitly. Copies share the identity of the one they were made from.
class HorizontalAlignment {
 public:
  using DefaultValue = std::function<double(const ViewDimensions&)>;

  HorizontalAlignment(std::string name, DefaultValue defaultValue);

  static const HorizontalAlignment& leading();
  static const HorizontalAlignment& center();
  static const HorizontalAlignment& trailing();

  const std::string& name() const noexcept { return identity_->name; }
  double defaultValue(const ViewDimensions& dimensions) const { return identity_->defaultValue(dimensions); }
  bool operator==(const HorizontalAlignment& other) const noexcept { return identity_ == other.identity_; }

 private:
  struct Identity {
    std::string name;
    DefaultValue defaultValue;
  };
  std::shared_ptr<const Identity> identity_;
};

/// A view as layout sees it: a width, the values of its alignment guides, and the views inside it.
class LayoutView {
 public:
  virtual ~LayoutView() = default;
  virtual double width() const = 0;
  /// The guide's value in this view: the explicit one if the view or one of its contents
  /// sets it, else the guide's default for this view's width.
  double operator[](const HorizontalAlignment& guide) const;
  /// The leading edge of `view`, when it is this view or lies inside it, from this view's leading edge.
  std::optional<double> position(const LayoutView& view) const;

  /// An explicit value of the guide, if this view or its contents set one.
  virtual std::optional<double> explicitValue(const HorizontalAlignment& guide) const;
  /// The views directly inside this one, and where each one's leading edge lies.
  virtual std::size_t subviewCount() const { return 0; }
  virtual const LayoutView& subview(std::size_t index) const;
  virtual double subviewPosition(std::size_t index) const;
};

/// A leaf with a fixed width.
class FixedWidthView : public LayoutView {
 public:
  explicit FixedWidthView(double width) : width_(width) {}
  double width() const override { return width_; }

 private:
  double width_;
};

/// A view with an explicit value for one guide, computed from the view's dimensions.
class AlignmentGuideView : public LayoutView {
 public:
  AlignmentGuideView(std::shared_ptr<const LayoutView> content, HorizontalAlignment guide,
                     HorizontalAlignment::DefaultValue value);
  double width() const override { return content_->width(); }
  std::optional<double> explicitValue(const HorizontalAlignment& guide) const override;
  std::size_t subviewCount() const override { return 1; }
  const LayoutView& subview(std::size_t) const override { return *content_; }
  double subviewPosition(std::size_t) const override { return 0; }

 private:
  std::shared_ptr<const LayoutView> content_;
  HorizontalAlignment guide_;
  HorizontalAlignment::DefaultValue value_;
};

/// Views side by side, `spacing` points apart. A guide's explicit value is that of the
/// first view that sets one.
class HStack : public LayoutView {
 public:
  static constexpr double defaultSpacing = 8;

  explicit HStack(std::vector<std::shared_ptr<const LayoutView>> views, double spacing = defaultSpacing);
  double width() const override;
  std::optional<double> explicitValue(const HorizontalAlignment& guide) const override;
  std::size_t subviewCount() const override { return views_.size(); }
  const LayoutView& subview(std::size_t index) const override { return *views_.at(index); }
  double subviewPosition(std::size_t index) const override;

 private:
  std::vector<std::shared_ptr<const LayoutView>> views_;
  double spacing_;
};

/// Views one above the other, placed so that their values of `alignment` line up; the
/// stack's leading edge is that of the view reaching furthest to the leading side.
class VStack : public LayoutView {
 public:
  VStack(HorizontalAlignment alignment, std::vector<std::shared_ptr<const LayoutView>> views);
  double width() const override { return width_; }
  std::optional<double> explicitValue(const HorizontalAlignment& guide) const override;
  std::size_t subviewCount() const override { return views_.size(); }
  const LayoutView& subview(std::size_t index) const override { return *views_.at(index); }
  double subviewPosition(std::size_t index) const override { return positions_.at(index); }

 private:
  HorizontalAlignment alignment_;
  std::vector<std::shared_ptr<const LayoutView>> views_;
  std::vector<double> positions_;
  double width_ = 0;
};

}  // namespace platform::ui
