#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "TimeSeries/CursorOperations.hpp"

namespace TimeSeries {
namespace {

using Ints = std::vector<int>;

// Counts pulls, and fails on the pull numbered `failAt` (from 1) when set.
class Source final : public Cursor<int> {
 public:
  explicit Source(Ints values, int failAt = 0) : values_(std::move(values)), failAt_(failAt) {}
  std::optional<int> next() override {
    ++pulls;
    if (pulls == failAt_) throw std::runtime_error("pull failed");
    if (position_ >= values_.size()) return std::nullopt;
    return values_[position_++];
  }
  int pulls = 0;

 private:
  Ints values_;
  std::size_t position_ = 0;
  int failAt_;
};

std::shared_ptr<Source> source(Ints values, int failAt = 0) {
  return std::make_shared<Source>(std::move(values), failAt);
}

template <typename P>
auto all(const P& cursor) {
  return collectArray(cursor);
}

TEST(Cursor, LazyAdaptersReadOnlyWhatTheyNeed) {
  const auto below3 = [](const int& n) { return n < 3; };
  struct Case {
    const char* name;
    std::function<std::shared_ptr<Cursor<int>>(std::shared_ptr<Source>)> make;
    Ints input;
    Ints expected;
    int pulls;  // from the base, after reading to the end once
  };
  const Case cases[] = {
      {"prefix(2)", [](auto s) { return prefix(s, 2); }, {1, 2, 3, 4, 5}, {1, 2}, 2},
      {"prefix(0)", [](auto s) { return prefix(s, 0); }, {1, 2}, {}, 0},
      {"prefix(-3)", [](auto s) { return prefix(s, -3); }, {1, 2}, {}, 0},
      {"prefix(5) of 2", [](auto s) { return prefix(s, 5); }, {1, 2}, {1, 2}, 3},
      {"dropFirst(3) of 2", [](auto s) { return dropFirst(s, 3); }, {1, 2}, {}, 3},
      {"dropFirst(3) of 5", [](auto s) { return dropFirst(s, 3); }, {1, 2, 3, 4, 5}, {4, 5}, 6},
      {"dropFirst()", [](auto s) { return dropFirst(s); }, {1, 2}, {2}, 3},
      {"dropWhile", [=](auto s) { return dropWhile(s, below3); }, {1, 2, 3, 1}, {3, 1}, 5},
      {"prefixWhile", [=](auto s) { return prefixWhile(s, below3); }, {1, 2, 3, 1}, {1, 2}, 3},
      {"filter", [](auto s) { return filter(s, [](const int& n) { return n % 2 == 0; }); }, {1, 2, 3, 4}, {2, 4}, 5},
      {"map", [](auto s) { return map(s, [](int n) { return n * 10; }); }, {1, 2}, {10, 20}, 3},
      {"compactMap",
       [](auto s) { return compactMap(s, [](int n) { return n % 2 ? std::nullopt : std::optional<int>(n / 2); }); },
       {1, 2, 3, 4},
       {1, 2},
       5},
  };
  for (const Case& c : cases) {
    auto base = source(c.input);
    auto cursor = c.make(base);
    EXPECT_EQ(base->pulls, 0) << c.name;  // nothing read before the first pull
    EXPECT_EQ(all(cursor), c.expected) << c.name;
    EXPECT_EQ(base->pulls, c.pulls) << c.name;
  }
  // After the end, prefix answers the end again without pulling; the base is left after its second element.
  auto base = source({1, 2, 3, 4, 5});
  auto two = prefix(base, 2);
  all(two);
  EXPECT_FALSE(two->next());
  EXPECT_EQ(base->pulls, 2);
  EXPECT_EQ(base->next(), 3);
}

TEST(Cursor, EnumeratedJoinedAndFlatMapped) {
  auto letters = std::make_shared<AnyCursor<std::string>>(std::vector<std::string>{"a", "b"});
  EXPECT_EQ(all(enumerated(letters)), (std::vector<std::pair<std::int64_t, std::string>>{{0, "a"}, {1, "b"}}));

  std::vector<std::shared_ptr<Cursor<int>>> inner{source({}), source({1, 2}), source({}), source({3})};
  auto cursors = std::make_shared<AnyCursor<std::shared_ptr<Cursor<int>>>>(inner);
  EXPECT_EQ(all(joined(cursors)), (Ints{1, 2, 3}));

  auto sequences = std::make_shared<AnyCursor<Ints>>(std::vector<Ints>{{1}, {}, {2, 3}});
  EXPECT_EQ(all(joined(sequences)), (Ints{1, 2, 3}));
  EXPECT_EQ(all(flatMap(source({1, 2}), [](int n) { return Ints(static_cast<std::size_t>(n), n); })), (Ints{1, 2, 2}));
  EXPECT_EQ(all(flatMap(source({2, 3}), [](int n) { return prefix(source({n, n, n}), n - 1); })), (Ints{2, 3, 3}));
  EXPECT_EQ(all(flatMap(Ints{1, 2}, [](int n) { return source({n, -n}); })), (Ints{1, -1, 2, -2}));

  auto words = std::make_shared<AnyCursor<std::string>>(std::vector<std::string>{"a", "b", "c"});
  EXPECT_EQ(joined(words, ","), "a,b,c");
  EXPECT_EQ(joined(std::make_shared<AnyCursor<std::string>>(std::vector<std::string>{"a", "b"})), "ab");
  EXPECT_EQ(joined(std::make_shared<AnyCursor<std::string>>(std::vector<std::string>{}), ","), "");

  int next = 0;
  auto counting = std::make_shared<AnyCursor<int>>([&]() -> std::optional<int> {
    if (next == 3) return std::nullopt;
    return next++;
  });
  Ints iterated{7, 8};
  EXPECT_EQ(all(std::make_shared<AnyCursor<int>>(std::shared_ptr<Cursor<int>>(counting))), (Ints{0, 1, 2}));
  EXPECT_EQ(all(std::make_shared<AnyCursor<int>>(iterated.begin(), iterated.end())), (Ints{7, 8}));
}

TEST(Cursor, EagerOperations) {
  EXPECT_EQ(dropLast(source({1, 2, 3, 4, 5}), 2), (Ints{1, 2, 3}));
  EXPECT_EQ(dropLast(source({1, 2, 3}), 0), (Ints{1, 2, 3}));
  EXPECT_EQ(dropLast(source({1, 2, 3})), (Ints{1, 2}));
  EXPECT_EQ(dropLast(source({1}), 5), Ints{});
  EXPECT_EQ(suffix(source({1, 2, 3, 4, 5}), 2), (Ints{4, 5}));
  EXPECT_EQ(suffix(source({1, 2}), 3), (Ints{1, 2}));
  EXPECT_EQ(suffix(source({1, 2, 3, 4, 5, 6, 7}), 3), (Ints{5, 6, 7}));
  auto unread = source({1});
  EXPECT_EQ(suffix(unread, 0), Ints{});
  EXPECT_EQ(unread->pulls, 0);
  EXPECT_EQ(suffix(source({1, 2}), std::int64_t(1) << 40), (Ints{1, 2}));  // no huge reservation up front

  using Tagged = std::pair<int, char>;
  auto tagged = [](std::vector<Tagged> values) { return std::make_shared<AnyCursor<Tagged>>(std::move(values)); };
  const auto byNumber = [](const Tagged& a, const Tagged& b) { return a.first < b.first; };
  EXPECT_EQ(maxBy(tagged({{1, 'a'}, {3, 'a'}, {2, 'a'}, {3, 'b'}}), byNumber), Tagged(3, 'a'));
  EXPECT_EQ(minBy(tagged({{2, 'a'}, {1, 'a'}, {1, 'b'}}), byNumber), Tagged(1, 'a'));
  EXPECT_EQ(max(source({2, 9, 4})), 9);
  EXPECT_EQ(min(source({})), std::nullopt);

  auto one = source({1});
  EXPECT_FALSE(isEmpty(one));
  EXPECT_TRUE(isEmpty(one));
  auto searched = source({1, 2, 3, 4});
  EXPECT_TRUE(contains(searched, 2));
  EXPECT_EQ(searched->next(), 3);  // the search stopped at the match
  EXPECT_FALSE(containsWhere(source({1, 3}), [](const int& n) { return n % 2 == 0; }));
  EXPECT_EQ(firstWhere(source({1, 4, 6}), [](const int& n) { return n > 3; }), 4);
  EXPECT_EQ(reduce(source({1, 2, 3}), 10, [](int sum, int n) { return sum + n; }), 16);
  EXPECT_EQ(reduceInto(source({1, 2}), Ints{}, [](Ints& list, int n) { list.push_back(n * n); }), (Ints{1, 4}));
  int visited = 0;
  forEach(source({5, 6}), [&](int n) { visited += n; });
  EXPECT_EQ(visited, 11);
}

TEST(Cursor, CollectOperations) {
  auto words = [](std::vector<std::string> values) {
    return std::make_shared<AnyCursor<std::string>>(std::move(values));
  };
  EXPECT_EQ(collectArray(source({3, 1}), 1'000'000'000), (Ints{3, 1}));
  EXPECT_EQ((collectArray<std::deque<int>>(source({3, 1}))), (std::deque<int>{3, 1}));
  EXPECT_EQ(collectSet(source({2, 1, 2})), (std::unordered_set<int>{1, 2}));
  EXPECT_EQ((collectSet<std::set<int>>(source({2, 1, 2}), 4)), (std::set<int>{1, 2}));

  auto groups = collectGroups(
      words({"ab", "ac", "bd"}), [](const std::string& w) { return w[0]; }, 10);
  EXPECT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups['a'], (std::vector<std::string>{"ab", "ac"}));
  EXPECT_EQ(groups['b'], (std::vector<std::string>{"bd"}));

  using Pair = std::pair<std::string, int>;
  auto pairs = [](std::vector<Pair> values) { return std::make_shared<AnyCursor<Pair>>(std::move(values)); };
  EXPECT_EQ(collectUniqueKeys(pairs({{"a", 1}, {"b", 2}})), (std::unordered_map<std::string, int>{{"a", 1}, {"b", 2}}));
  auto duplicated = pairs({{"a", 1}, {"b", 2}, {"a", 3}, {"c", 4}});
  try {
    collectUniqueKeys(duplicated);
    FAIL() << "a duplicate key was accepted";
  } catch (const DuplicateKeyError& error) {
    EXPECT_STREQ(error.what(), "Duplicate values for key: 'a'");
  }
  EXPECT_EQ(duplicated->next(), Pair("c", 4));  // stopped at the third pair
  try {
    collectUniqueKeys(
        std::make_shared<AnyCursor<std::pair<int, int>>>(std::vector<std::pair<int, int>>{{7, 1}, {7, 2}}));
    FAIL();
  } catch (const DuplicateKeyError& error) {
    EXPECT_STREQ(error.what(), "Duplicate values for key: '7'");
  }
}

TEST(Cursor, NegativeCountsAndFailures) {
  struct Case {
    std::function<void()> call;
    const char* message;
  };
  const Case refused[] = {
      {[] { dropFirst(source({1}), -1); }, "Can't drop a negative number of elements from a cursor"},
      {[] { DropFirstCursor<int>(source({1}), -2); }, "Can't drop a negative number of elements from a cursor"},
      {[] { dropLast(source({1}), -1); }, "Can't drop a negative number of elements from a cursor"},
      {[] { suffix(source({1}), -1); }, "Can't take a suffix of negative length from a cursor"},
  };
  for (const Case& c : refused) {
    try {
      c.call();
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const std::invalid_argument& error) {
      EXPECT_STREQ(error.what(), c.message);
    }
  }
  auto failing = source({1, 2, 3}, 2);
  EXPECT_THROW(collectArray(failing), std::runtime_error);
  auto mapped = map(source({1, 2, 3}, 2), [](int n) { return n + 1; });
  EXPECT_EQ(mapped->next(), 2);
  EXPECT_THROW(mapped->next(), std::runtime_error);
  EXPECT_EQ(mapped->next(), 3);  // the cursor goes on after a failed pull

  // A failed pull is counted by prefix; dropWhile keeps dropping after a failure.
  auto counted = prefix(source({1, 2, 3}, 1), 2);
  EXPECT_THROW(counted->next(), std::runtime_error);
  EXPECT_EQ(counted->next(), 1);
  EXPECT_FALSE(counted->next());
  auto dropping = dropWhile(source({1, 2, 5, 1}, 2), [](const int& n) { return n < 3; });
  EXPECT_THROW(dropping->next(), std::runtime_error);
  EXPECT_EQ(dropping->next(), 5);
  EXPECT_EQ(dropping->next(), 1);
}

}  // namespace
}  // namespace TimeSeries
