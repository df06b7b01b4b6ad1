#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <thread>

#include "Defaults/ChangePublisher.hpp"
#include "Defaults/Observation.hpp"
#include "TestSuite.hpp"

namespace Defaults {
namespace {

using testing_support::SuiteTest;

struct Owner : AssociationHost {};

TEST(ObservationOption, OptionBits) {
  using enum ObservationOption;
  struct Case {
    ObservationOptions options;
    std::uint64_t bits;
  };
  const Case cases[] = {{{}, 3}, {{initial}, 7}, {{prior}, 11}, {{initial, prior}, 7}};
  for (const Case& c : cases) EXPECT_EQ(keyValueObservingOptions(c.options), c.bits);
}

class ObservationTest : public SuiteTest {
 protected:
  Key<std::int64_t> count{"Count", 5, suite};
  std::vector<KeyChange<std::int64_t>> changes;
  std::function<void(const KeyChange<std::int64_t>&)> record = [this](const auto& change) { changes.push_back(change); };
  using Change = KeyChange<std::int64_t>;
  static Change change(bool isPrior, std::optional<Object> newValue, std::optional<Object> oldValue) {
    platform::KeyValueChange raw{ChangeKind::setting, std::nullopt, isPrior, std::move(newValue), std::move(oldValue)};
    return Change(BaseChange(raw), 5);
  }
};

TEST_F(ObservationTest, ChangeRecordsForEachOption) {
  using enum ObservationOption;
  set(count, 1);
  struct Case {
    ObservationOptions options;
    std::vector<Change> expected;  // observe, set 2, store a text, remove
  };
  const Case cases[] = {
      {{},
       {change(false, Object(2), Object(1)), change(false, Object("x"), Object(2)), change(false, Object(5), Object("x"))}},
      {{initial},
       {change(false, Object(1), std::nullopt), change(false, Object(2), Object(1)),
        change(false, Object("x"), Object(2)), change(false, Object(5), Object("x"))}},
      {{initial, prior},
       {change(false, Object(1), std::nullopt), change(false, Object(2), Object(1)),
        change(false, Object("x"), Object(2)), change(false, Object(5), Object("x"))}},
      {{prior},
       {change(true, std::nullopt, Object(1)), change(false, Object(2), Object(1)), change(true, std::nullopt, Object(2)),
        change(false, Object("x"), Object(2)), change(true, std::nullopt, Object("x")),
        change(false, Object(5), Object("x"))}},
  };
  for (const Case& c : cases) {
    set(count, 1);
    changes.clear();
    auto observation = observe(count, c.options, record);
    set(count, 2);
    suite->setObject(Object("x"), "Count");
    count.reset();
    EXPECT_EQ(changes, c.expected) << c.options.size();
  }
  // What the records hold: defaults for what is absent or does not convert.
  EXPECT_EQ(change(true, std::nullopt, Object("x")).newValue(), 5);
  EXPECT_EQ(change(true, std::nullopt, Object("x")).oldValue(), 5);
  EXPECT_EQ(change(false, Object("7"), Object(3)).newValue(), 7);
  EXPECT_EQ(change(false, Object("7"), Object(3)).oldValue(), 3);
}

TEST_F(ObservationTest, EndingAnObservation) {
  auto observation = observe(count, {}, record);
  set(count, 1);
  observation->invalidate();
  set(count, 2);
  observation->invalidate();
  EXPECT_EQ(changes.size(), 1u);

  // Releasing the last reference ends it.
  observation = observe(count, {}, record);
  std::weak_ptr<DefaultsObservation> weak = observation;
  observation.reset();
  EXPECT_TRUE(weak.expired());
  set(count, 3);
  EXPECT_EQ(changes.size(), 1u);

  // Started twice and invalidated once: nothing is left registered.
  auto twice = std::make_shared<UserDefaultsKeyObservation>(suite, "Count", [&](const BaseChange&) { changes.push_back(change(false, std::nullopt, std::nullopt)); });
  twice->start({});
  twice->start({});
  set(count, 4);
  EXPECT_EQ(changes.size(), 3u);
  twice->invalidate();
  set(count, 5);
  EXPECT_EQ(changes.size(), 3u);

  // A suite that is gone leaves the observation silent, even with a new suite of the same name.
  int lateCalls = 0;
  auto gone = platform::UserDefaults::suite("gone");
  auto late = std::make_shared<UserDefaultsKeyObservation>(gone, "Count", [&](const BaseChange&) { ++lateCalls; });
  gone.reset();
  late->start({ObservationOption::initial});
  platform::UserDefaults::suite("gone")->setObject(Object(1), "Count");
  EXPECT_EQ(lateCalls, 0);
}

TEST_F(ObservationTest, ObserverEndedInsideItsOwnCall) {
  std::shared_ptr<DefaultsObservation> observation;
  int calls = 0;
  observation = observe(count, {}, [&](const Change&) {
    ++calls;
    observation.reset();  // the last reference goes while the call runs
  });
  set(count, 1);
  set(count, 2);
  EXPECT_EQ(calls, 1);

  observation = observe(count, {}, [&](const Change&) {
    ++calls;
    observation->invalidate();
  });
  set(count, 3);
  set(count, 4);
  EXPECT_EQ(calls, 2);
}

TEST_F(ObservationTest, QuietUpdatesPerThread) {
  auto observation = observe(count, {}, record);
  updateWithoutNotifying([&] {
    set(count, 1);
    updateWithoutNotifying([&] { set(count, 2); });
    set(count, 3);  // still quiet after the nested update ended
    std::thread([&] { set(count, 4); }).join();  // another thread is not quiet
  });
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].newValue(), 4);

  EXPECT_THROW(updateWithoutNotifying([&] { throw std::runtime_error("body"); }), std::runtime_error);
  set(count, 5);
  EXPECT_EQ(changes.size(), 2u);
}

TEST_F(ObservationTest, SeveralKeys) {
  auto other = platform::UserDefaults::suite("other");
  Key<bool> flag("Flag", false, other);
  int calls = 0;
  auto none = observeKeys({}, {}, [&] { ++calls; });
  set(count, 1);
  EXPECT_EQ(calls, 0);

  auto both = observeKeys({count, flag}, {}, [&] { ++calls; });
  set(count, 2);
  set(flag, true);
  suite->setObject(Object(1), "Unrelated");
  EXPECT_EQ(calls, 2);
  updateWithoutNotifying([&] { set(flag, false); });
  EXPECT_EQ(calls, 2);
  both->invalidate();
  set(count, 3);
  EXPECT_EQ(calls, 2);

  auto withInitial = observeKeys({count, count}, {ObservationOption::initial}, [&] { ++calls; });
  EXPECT_EQ(calls, 4);  // one registration per occurrence
  withInitial.reset();
  set(count, 4);
  EXPECT_EQ(calls, 4);
}

TEST_F(ObservationTest, TiedToAnOwner) {
  auto owner = std::make_unique<Owner>();
  std::weak_ptr<DefaultsObservation> weak = observe(count, {}, record)->bindLifetime(*owner);
  set(count, 1);
  EXPECT_EQ(changes.size(), 1u);
  owner.reset();
  EXPECT_TRUE(weak.expired());
  set(count, 2);
  EXPECT_EQ(changes.size(), 1u);

  // Binding to a second owner moves the tie: the first owner's end no longer ends it.
  auto first = std::make_unique<Owner>();
  auto second = std::make_unique<Owner>();
  auto observation = observe(count, {}, record);
  observation->bindLifetime(*first);
  observation->bindLifetime(*second);
  weak = observation;
  observation.reset();
  first.reset();
  set(count, 3);
  EXPECT_EQ(changes.size(), 2u);
  second.reset();
  EXPECT_TRUE(weak.expired());
  set(count, 4);
  EXPECT_EQ(changes.size(), 2u);

  // Unbinding keeps the observation but frees the owner.
  auto third = std::make_unique<Owner>();
  observation = observe(count, {}, record);
  observation->bindLifetime(*third);
  observation->unbindLifetime();
  third.reset();
  set(count, 5);
  EXPECT_EQ(changes.size(), 3u);

  // Two observations on one owner.
  auto shared = std::make_unique<Owner>();
  int calls = 0;
  observe(count, {}, [&](const Change&) { ++calls; })->bindLifetime(*shared);
  observe(count, {}, [&](const Change&) { ++calls; })->bindLifetime(*shared);
  set(count, 6);
  EXPECT_EQ(calls, 2);
  shared.reset();
  set(count, 7);
  EXPECT_EQ(calls, 2);
}

TEST_F(ObservationTest, InvalidateRacesNoDelivery) {
  constexpr int writers = 4;
  constexpr int writesEach = 50;
  for (int round = 0; round < 3; ++round) {
    std::atomic<bool> ended{false};
    std::atomic<int> lateCalls{0};
    auto observation = observe(count, {}, [&](const Change&) {
      if (ended) ++lateCalls;
    });
    std::vector<std::thread> threads;
    std::atomic<int> started{0};
    for (int w = 0; w < writers; ++w)
      threads.emplace_back([&, w] {
        ++started;
        for (int i = 0; i < writesEach; ++i) set(count, w * 1000 + i);
      });
    while (started < writers) std::this_thread::yield();
    observation->invalidate();
    ended = true;
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(lateCalls, 0);
  }
}

// Two threads write one key each; inside its handler each writes the other thread's key, once both
// handlers are running. Neither may wait for the other.
TEST_F(ObservationTest, HandlersThatWriteEachOthersKeysOnTwoThreads) {
  using Handler = std::function<void(const Change&)>;
  using Watch = std::function<std::shared_ptr<void>(const Key<std::int64_t>&, Handler)>;
  const std::pair<const char*, Watch> cases[] = {
      {"observe", [](const Key<std::int64_t>& key, Handler handler) -> std::shared_ptr<void> {
         return observe(key, {}, std::move(handler));
       }},
      {"publisher", [](const Key<std::int64_t>& key, Handler handler) -> std::shared_ptr<void> {
         return std::make_shared<platform::AnyCancellable>(publisher(key).sink(std::move(handler)));
       }},
  };
  Key<std::int64_t> other{"Other", 0, suite};
  for (const auto& [name, watch] : cases) {
    SCOPED_TRACE(name);
    std::atomic<int> inside{0};
    thread_local bool nested = false;
    auto writeAfterBoth = [&](const Key<std::int64_t>& target) {
      return [&, target = &target](const Change&) {
        if (nested) return;
        nested = true;
        ++inside;
        while (inside < 2) std::this_thread::yield();
        set(*target, 2);
        nested = false;
      };
    };
    auto first = watch(count, writeAfterBoth(other));
    auto second = watch(other, writeAfterBoth(count));
    auto a = std::async(std::launch::async, [&] { set(count, 1); });
    auto b = std::async(std::launch::async, [&] { set(other, 1); });
    const auto limit = std::chrono::minutes(2);  // a deadlock, not a slow machine
    if (a.wait_for(limit) != std::future_status::ready || b.wait_for(limit) != std::future_status::ready) {
      ADD_FAILURE() << "the writers wait for each other";
      std::_Exit(1);  // they never return: nothing left to clean up
    }
  }
}

}  // namespace
}  // namespace Defaults
