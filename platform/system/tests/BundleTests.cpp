#include <gtest/gtest.h>

#include <thread>

#include "platform/system/Bundle.hpp"

namespace platform {
namespace {

TEST(Bundle, BuiltDictionaryNamesThisBuild) {
  const InfoDictionary built = Bundle::builtInfoDictionary();
  for (const char* key : {"CFBundleName", "CFBundleVersion", "CFBundleShortVersionString", "CFBundleIdentifier"}) {
    ASSERT_TRUE(built.contains(key)) << key;
    EXPECT_FALSE(std::any_cast<std::string>(built.at(key)).empty()) << key;
  }
  EXPECT_EQ(std::any_cast<std::string>(built.at("CFBundleName")), "pelmora-zava");
  EXPECT_EQ(Bundle::main().string("CFBundleIdentifier"), "invalid.pelmora-zava.pelmora-zava");
}

TEST(Bundle, ScopedDictionariesReplaceAndRemoveAndRestore) {
  const auto original = Bundle::main().infoDictionary();
  ASSERT_TRUE(original);
  {
    ScopedInfoDictionary replaced(InfoDictionary{{"CFBundleName", std::string("Form")}, {"Count", 42}});
    EXPECT_EQ(Bundle::main().string("CFBundleName"), "Form");
    EXPECT_EQ(Bundle::main().string("Count"), std::nullopt);  // not text
    EXPECT_EQ(Bundle::main().string("Missing"), std::nullopt);
    {
      ScopedInfoDictionary none(std::nullopt);
      EXPECT_FALSE(Bundle::main().infoDictionary());
      EXPECT_EQ(Bundle::main().string("CFBundleName"), std::nullopt);
    }
    EXPECT_EQ(Bundle::main().infoDictionary()->size(), 2u);
  }
  EXPECT_EQ(Bundle::main().infoDictionary()->size(), original->size());
}

TEST(Bundle, ReadersOnOtherThreadsSeeWholeDictionaries) {
  std::thread reader([] {
    for (int i = 0; i < 2000; ++i) {
      const auto name = Bundle::main().string("CFBundleName");
      EXPECT_TRUE(!name || *name == "pelmora-zava" || *name == "Other");
    }
  });
  for (int i = 0; i < 200; ++i) ScopedInfoDictionary other(InfoDictionary{{"CFBundleName", std::string("Other")}});
  reader.join();
}

}  // namespace
}  // namespace platform
