#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "QVExtensions/NaturalOrder.hpp"
#include "platform/text/CanonicalText.hpp"

namespace QVExtensions {
namespace {

struct OrderCase {
  const char* locale;
  const char* a;
  const char* b;
};

// Each pair is strictly increasing: a before b, and not b before a.
TEST(NaturalOrder, OrdersPairsInEveryLevel) {
  const OrderCase cases[] = {
      {"", "file 9", "file 10"},
      {"", "file 2", "File 10"},
      {"", "a", "B"},
      {"C", "a", "B"},
      {"POSIX", "a", "B"},
      {"en_US", "a", "B"},
      {"", "a", "A"},                      // case decides only once letters agree
      {"", "x1", "x01"},                   // digit-run lengths after numeric equality
      {"", "x01", "x2"},                   // value before length
      {"", "a", "\xEF\xBD\x81"},           // "a" and full-width "a": the forced order
      {"", "Shot 1", "Shot 1a"},
      {"", "\xD9\xA1", "2"},               // Arabic-Indic one compares by value
      {"", "e", "\xC3\xA9"},               // accent after plain letter
      {"", "\xC3\xA9", "f"},               // but before the next letter
      {"de_DE.UTF-8", "\xC3\xA4", "b"},
  };
  for (const OrderCase& c : cases) {
    platform::Locale::Pin pin{platform::Locale(c.locale)};
    EXPECT_TRUE(naturalOrderLess(c.a, c.b)) << c.locale << ": " << c.a << " < " << c.b;
    EXPECT_FALSE(naturalOrderLess(c.b, c.a)) << c.locale << ": " << c.b << " < " << c.a;
    EXPECT_LT(NaturalOrderKey(c.a), NaturalOrderKey(c.b)) << c.a << " key < " << c.b;
  }
}

TEST(NaturalOrder, EqualTextsAreNotLess) {
  for (const char* text : {"", "file 10", "x01", "\xC3\xA9", "A"}) {
    EXPECT_FALSE(naturalOrderLess(text, text)) << text;
    EXPECT_EQ(NaturalOrderKey(text), NaturalOrderKey(text)) << text;
  }
  // Canonically equivalent spellings stay ordered but distinct: code units decide.
  EXPECT_NE(naturalOrderLess("e\xCC\x81", "\xC3\xA9"), naturalOrderLess("\xC3\xA9", "e\xCC\x81"));
}

// Sorting by keys and sorting by the comparison give the same list, which is a strict
// weak ordering's sorted permutation.
TEST(NaturalOrder, KeySortAgreesWithComparison) {
  platform::Locale::Pin pin{platform::Locale::root()};
  std::vector<std::string> names = {"img 10", "IMG 9", "img 009", "img 9", "Img 9", "b", "B", "a", "img9",
                                    "img 1.5", "img 1.10", "\xC3\xA9", "e", "E", "x01", "x1", "x001", "", " "};
  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(names.begin(), names.end(), random);
    std::vector<std::string> byKeys = names;
    sortByNaturalOrder(byKeys);
    std::vector<std::string> byComparison = names;
    std::sort(byComparison.begin(), byComparison.end(),
              [](const std::string& a, const std::string& b) { return naturalOrderLess(a, b); });
    EXPECT_EQ(byKeys, byComparison);
    for (std::size_t i = 0; i + 1 < byKeys.size(); ++i)
      EXPECT_TRUE(naturalOrderLess(byKeys[i], byKeys[i + 1])) << byKeys[i] << " / " << byKeys[i + 1];
  }
}

// Keys and the comparison agree on every pair of texts built from pieces that stress each level.
TEST(NaturalOrder, KeysAgreeWithComparisonOnEveryPair) {
  const char* pieces[] = {"a", "A", "b", "0", "1", "2", "9", " ", "-", "\xC3\xA9", "e\xCC\x81", "\xEF\xBD\x81",
                          "\xD9\xA1", "\xF0\x9F\x98\x80", "\xEF\xBC\x91"};
  std::mt19937 random(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 150; ++i) {
    std::string text;
    for (int k = static_cast<int>(random() % 5); k > 0; --k) text += pieces[random() % std::size(pieces)];
    texts.push_back(text);
  }
  for (const char* locale : {"", "de", "sv"}) {
    platform::Locale::Pin pin{platform::Locale(locale)};
    std::vector<NaturalOrderKey> keys;
    for (const std::string& text : texts) keys.emplace_back(text);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      for (std::size_t j = 0; j < texts.size(); ++j) {
        const bool less = naturalOrderLess(texts[i], texts[j]);
        ASSERT_EQ(less, keys[i] < keys[j]) << locale << ": " << texts[i] << " / " << texts[j];
        if (texts[i] != texts[j]) {
          ASSERT_NE(less, naturalOrderLess(texts[j], texts[i])) << texts[i] << " / " << texts[j];
        }
      }
    }
  }
}

TEST(NaturalOrder, ProjectedSortIsStable) {
  struct Item {
    std::string name;
    int tag;
  };
  std::vector<Item> items = {{"b 10", 0}, {"b 9", 1}, {"a", 2}, {"b 9", 3}, {"a", 4}};
  sortByNaturalOrder(items, &Item::name);
  std::vector<int> tags;
  for (const Item& item : items) tags.push_back(item.tag);
  EXPECT_EQ(tags, (std::vector<int>{2, 4, 1, 3, 0}));
}

// One entry per canonically equal text, the first; checked against a plain sort and scan on
// lists large enough to be keyed on several threads.
TEST(NaturalOrder, SortedUniqueKeepsTheFirstOfEqualTexts) {
  struct Item {
    std::string name;
    int tag;
  };
  std::vector<Item> items = {{"file 10", 0}, {"Caf\xC3\xA9", 1}, {"file 9", 2}, {"Cafe\xCC\x81", 3}, {"file 9", 4}, {"", 5}};
  std::vector<int> tags;
  for (const Item& item : naturallySortedUnique(items, &Item::name)) tags.push_back(item.tag);
  EXPECT_EQ(tags, (std::vector<int>{5, 1, 2, 0}));
  EXPECT_TRUE(naturallySortedUnique(std::vector<std::string>{}).empty());

  std::mt19937 random(18);
  const char* parts[] = {"a", "B", "7", "10", " ", "\xC3\xA9", "e\xCC\x81", "x"};
  for (std::size_t count : {100u, 20000u}) {
    std::vector<std::string> texts(count);
    for (std::string& text : texts)
      for (int i = 0, n = static_cast<int>(random() % 4); i < n; ++i) text += parts[random() % std::size(parts)];
    std::vector<std::string> expected = texts;
    for (std::string& text : expected) text = platform::canonicalText(text);
    sortByNaturalOrder(expected);
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    // In any order, and sorted but for a tail, as lists with names added by hand arrive.
    std::vector<std::string> mostlySorted = texts;
    sortByNaturalOrder(mostlySorted);
    std::shuffle(mostlySorted.end() - 7, mostlySorted.end(), random);
    mostlySorted.insert(mostlySorted.end(), {"a", "10", "a"});
    for (const std::vector<std::string>* input : {&texts, &mostlySorted}) {
      std::vector<std::string> unique = naturallySortedUnique(*input);
      for (std::string& text : unique) text = platform::canonicalText(text);
      std::vector<std::string> wanted = expected;
      if (input == &mostlySorted) {
        for (const char* added : {"a", "10"})
          if (std::find(wanted.begin(), wanted.end(), added) == wanted.end()) wanted.push_back(added);
        sortByNaturalOrder(wanted);
      }
      EXPECT_EQ(unique, wanted) << count;
    }
  }
}

// The sort keeps a key's first bytes and makes the rest of a key again only where collation keys
// tie; random lists, keyed on several threads, must come out as sorting and merging whole keys does.
TEST(NaturalOrder, SortedUniquePositionsMatchWholeKeys) {
  const char* parts[] = {"a", "A", "7", "07", "10", " ", "-", "\xC3\xA9", "e\xCC\x81", "\xEF\xBD\x81", "\xF0\x9F\x98\x80",
                         "\xEE\x80\x80", "\xD9\xA1", "\xFF", "\x01", "\xCC\x81", "\xCC\xA3", "\xE1\x84\x80",
                         "\xE1\x85\xA1", "Student Portrait ", "IMG_", ".jpg"};
  std::mt19937 random(23);
  for (const char* locale : {"", "sv"}) {
    platform::Locale::Pin pin{platform::Locale(locale)};
    for (std::size_t count : {50u, 12000u}) {
      std::vector<std::string> texts(count);
      for (std::string& text : texts)
        for (int i = 0, n = static_cast<int>(random() % 7); i < n; ++i) text += parts[random() % std::size(parts)];
      std::vector<NaturalOrderKey> keys;
      for (const std::string& text : texts) keys.emplace_back(platform::canonicalText(text));
      std::vector<std::size_t> expected(count);
      for (std::size_t i = 0; i < count; ++i) expected[i] = i;
      std::sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
        return keys[a] != keys[b] ? keys[a] < keys[b] : a < b;
      });
      expected.erase(std::unique(expected.begin(), expected.end(),
                                 [&](std::size_t a, std::size_t b) { return keys[a] == keys[b]; }),
                     expected.end());
      const std::vector<std::size_t> positions =
          naturallySortedUniquePositions(count, [&](std::size_t i) -> std::string_view { return texts[i]; });
      EXPECT_EQ(positions, expected) << locale << " " << count;
    }
  }
}

}  // namespace
}  // namespace QVExtensions
