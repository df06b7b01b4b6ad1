#include <gtest/gtest.h>

#include "platform/ui/Layout.hpp"

namespace platform::ui {
namespace {

using Views = std::vector<std::shared_ptr<const LayoutView>>;

std::shared_ptr<const LayoutView> view(double width) { return std::make_shared<FixedWidthView>(width); }

TEST(Layout, StacksPlaceTheirViews) {
  const HorizontalAlignment column("column", [](const ViewDimensions& d) { return d[HorizontalAlignment::center()]; });
  const auto marked = std::make_shared<AlignmentGuideView>(view(20), column, [](const ViewDimensions&) { return 5.0; });
  const auto markedLater =
      std::make_shared<AlignmentGuideView>(view(10), column, [](const ViewDimensions&) { return 0.0; });
  struct Case {
    std::string name;
    std::shared_ptr<const LayoutView> stack;
    std::vector<double> positions;
    double width;
  };
  const Case cases[] = {
      {"row", std::make_shared<HStack>(Views{view(10), view(20), view(30)}), {0, 18, 46}, 76},
      {"empty row", std::make_shared<HStack>(Views{}), {}, 0},
      {"leading", std::make_shared<VStack>(HorizontalAlignment::leading(), Views{view(10), view(30)}), {0, 0}, 30},
      {"centre", std::make_shared<VStack>(HorizontalAlignment::center(), Views{view(10), view(30)}), {10, 0}, 30},
      {"trailing", std::make_shared<VStack>(HorizontalAlignment::trailing(), Views{view(10), view(30)}), {20, 0}, 30},
      // A row takes its guide from the first view that sets one; plain views use the default.
      {"custom",
       std::make_shared<VStack>(column,
                                Views{std::make_shared<HStack>(Views{view(12), marked, markedLater}), view(40)}),
       {0, 25 - 20},
       58},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.stack->subviewCount(), c.positions.size());
    for (std::size_t i = 0; i < c.positions.size(); ++i)
      EXPECT_EQ(c.stack->position(c.stack->subview(i)), c.positions[i]);
    EXPECT_EQ(c.stack->width(), c.width);
  }
  EXPECT_EQ(HStack(Views{view(12), marked, markedLater})[column], 25);
  EXPECT_EQ(HStack(Views{view(12), view(4)})[column], 12);
  EXPECT_EQ(HStack(Views{view(12)}).position(*marked), std::nullopt);
}

}  // namespace
}  // namespace platform::ui
