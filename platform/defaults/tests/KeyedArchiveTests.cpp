#include <gtest/gtest.h>

#include <chrono>

#include "NestedArrays.hpp"
#include "WithinTimeLimit.hpp"

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
    // Another class is no error: the archive is sound, it just holds nothing of the class asked for.
    EXPECT_EQ(KeyedArchive::unarchive(archive, "Other"), std::nullopt);
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

// Milliseconds the refusal took, -1 when the data was accepted, nothing when it did not end within `limit`.
std::optional<std::int64_t> refusal(const Data& data, std::chrono::milliseconds limit) {
  return resultWithin(limit, [&data]() -> std::int64_t {
    try {
      KeyedArchive::unarchive(data, "Thing");
    } catch (const Error&) {
      return 1;
    }
    return 0;
  });
}

TEST(KeyedArchive, SharedDeepOrLoopedDocumentsAreRefusedAtOnce) {
  std::vector<std::vector<std::uint32_t>> chain(100'000);
  for (std::uint32_t i = 0; i + 1 < chain.size(); ++i) chain[i] = {i + 1};
  // Sound archives whose object list shares one object so often that the parser's copies would take gigabytes.
  const std::pair<const char*, Data> cases[] = {
      {"lattice", binaryLattice()},
      {"chain", binaryArrays(chain)},
      {"loop", binaryArrays({{1}, {0}})},
      {"shared text", binaryArchiveSharing(60'000, sharedText())},
      {"shared data", binaryArchiveSharing(16'000, sharedData())},
      {"shared array", binaryArchiveSharing(1'000'000, sharedIntegers())},
  };
  for (const auto& [name, data] : cases) {
    // Refused at once; the limit only keeps a parser that copies them from stalling the suite.
    const std::optional<std::int64_t> refused = refusal(data, std::chrono::minutes(1));
    ASSERT_TRUE(refused) << name << ": still parsing after a minute";
    EXPECT_EQ(*refused, 1) << name << ": accepted";
  }
  // Shared a few times, the same objects cost little.
  for (const auto& shared : {sharedText(), sharedData(), sharedIntegers()})
    EXPECT_EQ(KeyedArchive::unarchive(binaryArchiveSharing(3, shared), "Thing"), (KeyedArchive::Object{"Thing", {}}));
}

}  // namespace
}  // namespace platform
