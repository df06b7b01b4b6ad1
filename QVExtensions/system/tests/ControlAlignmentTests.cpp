#include <gtest/gtest.h>

#include <future>

#include "QVExtensions/ControlAlignment.hpp"

namespace QVExtensions {
namespace {

using platform::ui::FixedWidthView;
using platform::ui::LayoutView;

std::shared_ptr<const LayoutView> view(double width) { return std::make_shared<FixedWidthView>(width); }

TEST(ControlAlignment, ControlsLineUpWhateverTheLabelWidths) {
  struct Row {
    double labelWidth;
    double controlWidth;
  };
  const Row rows[] = {{40, 120}, {95, 60}, {10, 200}};
  std::vector<std::shared_ptr<const LayoutView>> views;
  std::vector<std::shared_ptr<const LayoutView>> controls;
  for (const Row& row : rows) {
    controls.push_back(view(row.controlWidth));
    views.push_back(ControlAlignment::alignedRow(view(row.labelWidth), controls.back()));
  }
  // Views without an explicit guide align on their centres: a plain view, and a row of two.
  const auto plain = view(50);
  const auto pair = std::make_shared<platform::ui::HStack>(std::vector{view(30), view(50)});
  views.push_back(plain);
  views.push_back(pair);
  const platform::ui::VStack stack(HorizontalAlignment::controlAlignment(), views);

  for (const auto& control : controls) EXPECT_EQ(stack.position(*control), 95 + 8);
  EXPECT_EQ(stack.position(*plain), 103 - 25);
  EXPECT_EQ(stack.position(*pair), 103 - 44);
  EXPECT_EQ(stack.width(), 103 + 200);
}

TEST(ControlAlignment, MadeOnceAndShared) {
  auto first = std::async(std::launch::async, [] { return &HorizontalAlignment::controlAlignment(); });
  const platform::ui::HorizontalAlignment* alignment = &HorizontalAlignment::controlAlignment();
  EXPECT_EQ(first.get(), alignment);
  EXPECT_FALSE(*alignment == platform::ui::HorizontalAlignment::center());
  EXPECT_EQ(alignment->defaultValue({.width = 30}), 15);
}

}  // namespace
}  // namespace QVExtensions
