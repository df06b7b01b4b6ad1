#include "QVExtensions/ControlAlignment.hpp"

namespace QVExtensions {

using platform::ui::ViewDimensions;

double ControlAlignment::defaultValue(const ViewDimensions& dimensions) {
  return dimensions[platform::ui::HorizontalAlignment::center()];
}

std::shared_ptr<const platform::ui::LayoutView> ControlAlignment::alignedRow(
    std::shared_ptr<const platform::ui::LayoutView> label, std::shared_ptr<const platform::ui::LayoutView> control) {
  auto guided = std::make_shared<platform::ui::AlignmentGuideView>(
      std::move(control), HorizontalAlignment::controlAlignment(),
      [](const ViewDimensions& dimensions) { return dimensions[platform::ui::HorizontalAlignment::leading()]; });
  return std::make_shared<platform::ui::HStack>(
      std::vector<std::shared_ptr<const platform::ui::LayoutView>>{std::move(label), std::move(guided)});
}

const platform::ui::HorizontalAlignment& HorizontalAlignment::controlAlignment() {
  static const platform::ui::HorizontalAlignment alignment("ControlAlignment", &ControlAlignment::defaultValue);
  return alignment;
}

}  // namespace QVExtensions
