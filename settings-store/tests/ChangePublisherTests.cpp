#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Defaults/ChangePublisher.hpp"
#include "TestSuite.hpp"

namespace Defaults {
namespace {

class ChangePublisherTest : public testing_support::SuiteTest {
 protected:
  Key<std::int64_t> count{"Count", 5, suite};
};

// Records the order of events, asks for nothing, and keeps its subscription only when told to.
struct Recorder final : Subscriber<BaseChange> {
  explicit Recorder(bool keeps) : keep(keeps) {}
  void receive(std::shared_ptr<Subscription> received) override {
    events.push_back("subscription");
    received->request(Demand::none());
    weak = received;
    if (keep) subscription = received;
  }
  Demand receive(const BaseChange& change) override {
    events.push_back(change.newValue ? change.newValue->description() : "none");
    return Demand::none();
  }
  bool keep;
  std::vector<std::string> events;
  std::shared_ptr<Subscription> subscription;
  std::weak_ptr<Subscription> weak;
};

TEST_F(ChangePublisherTest, DeliversWhateverTheDemand) {
  set(count, 1);
  auto recorder = std::make_shared<Recorder>(true);
  DefaultsPublisher{suite, "Count", {ObservationOption::initial}}.receive(recorder);
  set(count, 2);
  set(count, 3);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"subscription", "1", "2", "3"}));

  recorder->subscription->cancel();
  recorder->subscription->cancel();
  set(count, 4);
  EXPECT_EQ(recorder->events.size(), 4u);
}

TEST_F(ChangePublisherTest, SubscriptionAndObservationDoNotKeepEachOtherAlive) {
  auto recorder = std::make_shared<Recorder>(false);
  DefaultsPublisher{suite, "Count", {}}.receive(recorder);
  EXPECT_TRUE(recorder->weak.expired());
  set(count, 1);
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"subscription"}));

  // A sink lasts as long as its token.
  std::vector<std::int64_t> seen;
  auto token = publisher(count).sink([&](const KeyChange<std::int64_t>& change) { seen.push_back(change.newValue()); });
  set(count, 2);
  suite->setObject(Object("not a number"), "Count");
  token.cancel();
  set(count, 3);
  EXPECT_EQ(seen, (std::vector<std::int64_t>{2, 5}));
}

TEST_F(ChangePublisherTest, SignalsForSeveralKeys) {
  auto other = platform::UserDefaults::suite("other");
  Key<bool> flag("Flag", false, other);
  int signals = 0;
  auto none = publisherForKeys({}).sink([&](std::monostate) { ++signals; });
  set(count, 1);
  EXPECT_EQ(signals, 0);

  auto both = publisherForKeys({count, flag}).sink([&](std::monostate) { ++signals; });
  set(count, 2);
  set(flag, true);
  other->setObject(Object(1), "Unrelated");
  EXPECT_EQ(signals, 2);
  both.cancel();
  set(flag, false);
  EXPECT_EQ(signals, 2);
}

TEST_F(ChangePublisherTest, CancelOnOneThreadWhileAnotherDelivers) {
  for (int round = 0; round < 3; ++round) {
    std::atomic<bool> cancelled{false};
    std::atomic<int> late{0};
    auto token = publisher(count).sink([&](const KeyChange<std::int64_t>&) {
      if (cancelled) ++late;
    });
    std::atomic<bool> running{false};
    std::thread writer([&] {
      running = true;
      for (int i = 0; i < 100; ++i) set(count, i);
    });
    while (!running) std::this_thread::yield();
    token.cancel();
    cancelled = true;
    writer.join();
    EXPECT_EQ(late, 0);
  }
}

}  // namespace
}  // namespace Defaults
