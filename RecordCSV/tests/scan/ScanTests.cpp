// The vector classifiers against the byte-by-byte one, on blocks where every stop byte,
// its neighbours and bytes of 0x80 and more (equal to a stop once sign-extended) sit anywhere.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/core/Unicode.hpp"
#include "scan/Scan.hpp"

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
  // Long ASCII runs, so that every vector width is used, broken by good and bad sequences;
  // then text that is mostly beyond ASCII, with every kind of bad sequence at every place
  // relative to a vector block and to where a check starts and stops.
  const std::vector<std::string> good = {"\u00E9", "\U0001F600", "\xE2\x82\xAC", "\u0080", "\u07FF", "\u0800",
                                         "\uD7FF", "\uE000", "\uFFFF", "\U00010000", "\U0010FFFF", "a", "\x7F"};
  const std::vector<std::string> bad = {"\xC3", "\xED\xA0\x80", "\xFF", "\x80", "\xBF", "\xC0\x80", "\xC1\xBF",
                                        "\xE0\x80\x80", "\xE0\x9F\xBF", "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",
                                        "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8", "\xE2\x82", "\xF0\x9F\x98",
                                        "\xE2\x82\xAC\x80", "\xC3\xA9\xA9"};
  struct Mix {
    std::vector<std::string> pieces;
    int maximumPieces;
    int rounds;
  };
  std::vector<std::string> dense = good;
  dense.push_back(std::string(29, 'q'));
  dense.push_back(bad[0]);  // rare bad pieces in long good text
  std::vector<std::string> everyBad = good;
  everyBad.insert(everyBad.end(), bad.begin(), bad.end());
  const Mix mixes[] = {
      {{std::string(37, 'a'), std::string(5, 'b'), "\u00E9", "\U0001F600", "\xE2\x82\xAC", "\xC3", "\xED\xA0\x80", "\xFF",
        "\x7F"},
       12,
       400},
      {dense, 120, 300},
      {good, 90, 200},
      {everyBad, 60, 600},
  };
  std::mt19937 random(8);
  for (const Mix& mix : mixes) {
    for (int round = 0; round < mix.rounds; ++round) {
      std::string text;
      const int count = static_cast<int>(random() % mix.maximumPieces);
      for (int i = 0; i < count; ++i) text += mix.pieces[random() % mix.pieces.size()];
      const std::size_t from = text.empty() || round % 2 == 0 ? 0 : random() % text.size();
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
