#include <gtest/gtest.h>

#include "platform/defaults/KeyedArchive.hpp"

namespace platform {
namespace {

TEST(KeyedArchive, ObjectsRoundTripAndOnlyAsTheirOwnClass) {
  const KeyedArchive::Object objects[] = {
      {"Thing", {}},
      {"Thing", {{"flag", true}, {"count", std::int64_t{-5}}, {"ratio", 0.1}, {"name", std::string("Grüße")},
                 {"blob", Data::fromString(std::string("\0\1\2", 3))}, {"empty", std::string()}}},
  };
  for (const auto& object : objects) {
    Data archive = KeyedArchive::archive(object);
    EXPECT_EQ(std::string(archive.view().substr(0, 8)), "bplist00");
    EXPECT_EQ(KeyedArchive::unarchive(archive, "Thing"), object);
    EXPECT_THROW(KeyedArchive::unarchive(archive, "Other"), platform::Error);
  }
  for (const Data& bad : {Data(), Data::fromString("bplist00"), Data::fromString("garbage that is long enough"),
                          Data::fromString(std::string(KeyedArchive::archive(objects[1]).view().substr(0, 40)))}) {
    try {
      KeyedArchive::unarchive(bad, "Thing");
      ADD_FAILURE() << "no error";
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.domain(), "NSCocoaErrorDomain");
      EXPECT_EQ(error.code(), 4864);
    }
  }
}

}  // namespace
}  // namespace platform
