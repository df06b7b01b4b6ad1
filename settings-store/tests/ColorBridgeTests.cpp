#include <gtest/gtest.h>

#include "Defaults/Serializable.hpp"
#include "platform/defaults/Color.hpp"
#include "platform/defaults/KeyedArchive.hpp"

namespace Defaults {
namespace {

using platform::Color;
using platform::Data;
using platform::KeyedArchive;

const std::string readError = "The data couldn’t be read because it isn’t in the correct format.\n";

TEST(ColorBridge, StoresAKeyedArchiveAndReadsOnlyColours) {
  for (const Color& color : {Color::sRGB(0.1, 0.2, 0.3, 0.4), Color::displayP3(1, 0, 0), Color::gray(0.5, 1)}) {
    auto stored = toPropertyListObject(color);
    ASSERT_TRUE(stored && stored->data());
    EXPECT_EQ(fromPropertyListObject<Color>(*stored), color);
  }

  struct Case {
    Object stored;
    std::string output;  // what reading prints
  };
  const Case cases[] = {
      {Object(Data::fromString("not an archive at all")), readError},
      // A sound archive of another class is a failed cast, and that is silent.
      {Object(KeyedArchive::archive({"NSFont", {{"NSName", std::string("Helvetica")}}})), ""},
      {Object(KeyedArchive::archive({"NSColor", {{"NSColorSpace", std::int64_t{9}}, {"NSComponents", std::string("1 1")}}})),
       ""},
      {Object(KeyedArchive::archive({"NSColor", {{"NSColorSpace", std::int64_t{3}}, {"NSComponents", std::string("1 x")}}})),
       ""},
      {Object("text"), ""},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(fromPropertyListObject<Color>(c.stored), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
  }
}

}  // namespace
}  // namespace Defaults
