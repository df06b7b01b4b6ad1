// The vector classifiers against the byte-by-byte one, on blocks where every stop byte,
// its neighbours and bytes of 0x80 and more (equal to a stop once sign-extended) sit anywhere.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Scan.hpp"
#include "platform/core/Unicode.hpp"

namespace RecordCSV::scan {
namespace {

TEST(Scan, EveryKernelFindsTheStopBytesOfABlock) {
  const std::vector<std::string> stopSets = {",\"\r\n", ",\"\n", ";\r", "\t\"\r\n", "|", std::string(1, '\0') + "\n",
                                             "\x7F,"};
  const std::string alphabet = std::string(",;\t|\"\r\n\x7F\x80\xAC\xA2\x8D\x8A\xFF ab") + '\0';
  std::mt19937 random(19);
  for (const std::string& stops : stopSets) {
    const std::optional<StopBytes> stopBytes = StopBytes::make(stops);
    ASSERT_TRUE(stopBytes) << stops;
    for (int round = 0; round < 200; ++round) {
      char block[64];
      for (char& byte : block) byte = alphabet[random() % alphabet.size()];
      const std::uint64_t expected = classifyTail(block, 32, *stopBytes) | classifyTail(block + 32, 32, *stopBytes) << 32;
      for (const Kernel kernel : availableKernels()) {
        if (kernel == Kernel::byteEngine) continue;
        EXPECT_EQ(classifier(kernel)(block, *stopBytes), expected)
            << "kernel " << static_cast<int>(kernel) << " stops " << ::testing::PrintToString(stops);
      }
    }
  }
}

TEST(Scan, EveryKernelEndsUTF8WhereTheByteByByteCheckDoes) {
  // Long ASCII runs, so that every vector width is used, broken by good and bad sequences.
  const std::vector<std::string> pieces = {std::string(37, 'a'), std::string(5, 'b'), "\u00E9", "\U0001F600",
                                           "\xE2\x82\xAC", "\xC3", "\xED\xA0\x80", "\xFF", "\x7F"};
  std::mt19937 random(8);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    const std::size_t from = text.empty() ? 0 : random() % text.size();
    const std::size_t limit = from + random() % (text.size() - from + 1);
    const std::size_t expected = platform::wellFormedUTF8End(text, from, limit);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t ascii = from;
    while (ascii < limit && bytes[ascii] < 0x80) ++ascii;
    for (const Kernel kernel : availableKernels()) {
      pinKernel(kernel);
      EXPECT_EQ(wellFormedUTF8End(text, from, limit), expected) << ::testing::PrintToString(text) << " " << from;
      EXPECT_EQ(asciiEnd(bytes, from, limit), ascii) << ::testing::PrintToString(text) << " " << from;
    }
    pinKernel(std::nullopt);
  }
}

TEST(Scan, OnlyOneToFourASCIIBytesAreStops) {
  EXPECT_FALSE(StopBytes::make(""));
  EXPECT_FALSE(StopBytes::make(",;\t|\n"));
  EXPECT_FALSE(StopBytes::make(",\xC3"));
  ASSERT_TRUE(StopBytes::make(",\n"));
  const StopBytes stops = *StopBytes::make(",\n");
  EXPECT_EQ(classifyTail(",a\n\xC3", 4, stops), 0b101u);
}

}  // namespace
}  // namespace RecordCSV::scan
