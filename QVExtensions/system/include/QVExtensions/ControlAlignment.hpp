#pragma once
// Label-and-control rows whose controls line up in one column: stack rows made by
// `ControlAlignment::alignedRow` in a VStack aligned on
// `HorizontalAlignment::controlAlignment()`, and every control's leading edge sits at the
// same place, whatever the widths of the labels.

#include <memory>

#include "platform/ui/Layout.hpp"

namespace QVExtensions {

/// The alignment identifier of the control column.
struct ControlAlignment {
  /// In a view that sets no value of the guide, its horizontal centre.
  static double defaultValue(const platform::ui::ViewDimensions& dimensions);

  /// The label, then the control, 8 points apart, with the control's leading edge as the
  /// row's `HorizontalAlignment::controlAlignment()` guide.
  static std::shared_ptr<const platform::ui::LayoutView> alignedRow(
      std::shared_ptr<const platform::ui::LayoutView> label, std::shared_ptr<const platform::ui::LayoutView> control);
};

namespace HorizontalAlignment {
/// The horizontal alignment made from ControlAlignment: made on first use, then shared.
const platform::ui::HorizontalAlignment& controlAlignment();
}  // namespace HorizontalAlignment

}  // namespace QVExtensions
