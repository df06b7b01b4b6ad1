#include "platform/ui/Layout.hpp"

#include <algorithm>
#include <stdexcept>

namespace platform::ui {
namespace {

// The explicit value of the first view in `views` that sets one, in the container's coordinates.
template <typename PositionOf>
std::optional<double> firstExplicitValue(const std::vector<std::shared_ptr<const LayoutView>>& views,
                                         const HorizontalAlignment& guide, PositionOf positionOf) {
  for (std::size_t i = 0; i < views.size(); ++i)
    if (const std::optional<double> value = views[i]->explicitValue(guide)) return positionOf(i) + *value;
  return std::nullopt;
}

}  // namespace

double ViewDimensions::operator[](const HorizontalAlignment& guide) const { return guide.defaultValue(*this); }

HorizontalAlignment::HorizontalAlignment(std::string name, DefaultValue defaultValue)
    : identity_(std::make_shared<const Identity>(Identity{std::move(name), std::move(defaultValue)})) {}

const HorizontalAlignment& HorizontalAlignment::leading() {
  static const HorizontalAlignment guide("leading", [](const ViewDimensions&) { return 0.0; });
  return guide;
}

const HorizontalAlignment& HorizontalAlignment::center() {
  static const HorizontalAlignment guide("center", [](const ViewDimensions& view) { return view.width / 2; });
  return guide;
}

const HorizontalAlignment& HorizontalAlignment::trailing() {
  static const HorizontalAlignment guide("trailing", [](const ViewDimensions& view) { return view.width; });
  return guide;
}

double LayoutView::operator[](const HorizontalAlignment& guide) const {
  return explicitValue(guide).value_or(guide.defaultValue(ViewDimensions{width()}));
}

std::optional<double> LayoutView::position(const LayoutView& view) const {
  if (&view == this) return 0.0;
  for (std::size_t i = 0; i < subviewCount(); ++i)
    if (const std::optional<double> inside = subview(i).position(view)) return subviewPosition(i) + *inside;
  return std::nullopt;
}

std::optional<double> LayoutView::explicitValue(const HorizontalAlignment&) const { return std::nullopt; }

const LayoutView& LayoutView::subview(std::size_t) const { throw std::out_of_range("The view holds no views."); }

double LayoutView::subviewPosition(std::size_t) const { throw std::out_of_range("The view holds no views."); }

AlignmentGuideView::AlignmentGuideView(std::shared_ptr<const LayoutView> content, HorizontalAlignment guide,
                                       HorizontalAlignment::DefaultValue value)
    : content_(std::move(content)), guide_(std::move(guide)), value_(std::move(value)) {}

std::optional<double> AlignmentGuideView::explicitValue(const HorizontalAlignment& guide) const {
  if (guide == guide_) return value_(ViewDimensions{width()});
  return content_->explicitValue(guide);
}

HStack::HStack(std::vector<std::shared_ptr<const LayoutView>> views, double spacing)
    : views_(std::move(views)), spacing_(spacing) {}

double HStack::width() const {
  return views_.empty() ? 0 : subviewPosition(views_.size() - 1) + views_.back()->width();
}

std::optional<double> HStack::explicitValue(const HorizontalAlignment& guide) const {
  return firstExplicitValue(views_, guide, [this](std::size_t i) { return subviewPosition(i); });
}

double HStack::subviewPosition(std::size_t index) const {
  double position = 0;
  for (std::size_t i = 0; i < index; ++i) position += views_.at(i)->width() + spacing_;
  return position;
}

VStack::VStack(HorizontalAlignment alignment, std::vector<std::shared_ptr<const LayoutView>> views)
    : alignment_(std::move(alignment)), views_(std::move(views)) {
  // Each view's guide sits on one line; the view whose guide lies furthest from its own
  // leading edge decides where that line is.
  std::optional<double> line;
  for (const auto& view : views_) line = std::max(line.value_or((*view)[alignment_]), (*view)[alignment_]);
  for (const auto& view : views_) {
    positions_.push_back(*line - (*view)[alignment_]);
    width_ = std::max(width_, positions_.back() + view->width());
  }
}

std::optional<double> VStack::explicitValue(const HorizontalAlignment& guide) const {
  return firstExplicitValue(views_, guide, [this](std::size_t i) { return positions_[i]; });
}

}  // namespace platform::ui
