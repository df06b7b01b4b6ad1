#include <gtest/gtest.h>

#include "BinaryDocuments.hpp"
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

TEST(ColorBridge, ArchiveWhoseFieldsShareOneObjectIsWeighedByItsCopies) {
  constexpr std::size_t mebibyte = 1 << 20;
  struct Case {
    std::uint32_t fields;
    std::size_t sharedBytes;
    bool refused;
  };
  const Case cases[] = {
      // 2,000 and 10,000 MiB of copies from about a megabyte: the second once ended the process.
      {2'000, mebibyte, true},
      {10'000, mebibyte, true},
      {1'000, 64 * 1024, false},  // 62.5 MiB of copies, under the bound's floor
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    const Data archive = platform::binaryArchiveOfFieldsSharing(
        "NSColor", c.fields, platform::BinaryObject::blob(std::string(c.sharedBytes, '\x7f')));
    testing::internal::CaptureStdout();
    // Sound but no colour: read, it is a failed cast and silent.
    EXPECT_EQ(fromPropertyListObject<Color>(Object(archive)), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.refused ? readError : "");
    if (!c.refused) {
      const auto object = KeyedArchive::unarchive(archive, "NSColor");
      ASSERT_TRUE(object);
      EXPECT_EQ(object->fields.size(), c.fields);
    }
  }
  const auto sound = toPropertyListObject(Color::gray(0.25));
  ASSERT_TRUE(sound);
  EXPECT_EQ(fromPropertyListObject<Color>(*sound), Color::gray(0.25));
}

}  // namespace
}  // namespace Defaults
