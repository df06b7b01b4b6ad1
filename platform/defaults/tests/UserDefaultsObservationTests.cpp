#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/defaults/UserDefaults.hpp"
#include "platform/io/TemporaryDirectory.hpp"

namespace platform {
namespace {

namespace Options = KeyValueObservingOptions;

struct Recorded {
  std::string key;
  bool isPrior;
  std::optional<PropertyList> oldValue, newValue;
  const void* context;
  bool operator==(const Recorded&) const = default;
};

class Recorder : public KeyValueObserver {
 public:
  explicit Recorder(std::function<void(Recorder&)> also = {}) : also_(std::move(also)) {}
  void observeValue(std::string_view keyPath, UserDefaults*, const KeyValueChange* change, const void* context) override {
    EXPECT_EQ(change->kind, KeyValueChange::Kind::setting);
    EXPECT_FALSE(change->indexes);
    calls.push_back({std::string(keyPath), change->isPrior, change->oldValue, change->newValue, context});
    if (also_) also_(*this);
  }
  std::vector<Recorded> calls;

 private:
  std::function<void(Recorder&)> also_;
};

TEST(UserDefaultsObservation, OptionsDecideWhatIsDelivered) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("observed");
  suite->registerDefaults({{"k", PropertyList(0)}});
  suite->setObject(PropertyList(1), "k");
  const int context = 0;
  struct Case {
    std::uint64_t options;
    std::vector<Recorded> expected;  // for: add, set 2, remove
  };
  const Case cases[] = {
      {Options::newValue | Options::oldValue,
       {{"k", false, PropertyList(1), PropertyList(2), &context}, {"k", false, PropertyList(2), PropertyList(0), &context}}},
      {Options::newValue,
       {{"k", false, std::nullopt, PropertyList(2), &context}, {"k", false, std::nullopt, PropertyList(0), &context}}},
      {0, {{"k", false, std::nullopt, std::nullopt, &context}, {"k", false, std::nullopt, std::nullopt, &context}}},
      {Options::newValue | Options::oldValue | Options::initial,
       {{"k", false, std::nullopt, PropertyList(1), &context},
        {"k", false, PropertyList(1), PropertyList(2), &context},
        {"k", false, PropertyList(2), PropertyList(0), &context}}},
      {Options::newValue | Options::oldValue | Options::prior,
       {{"k", true, PropertyList(1), std::nullopt, &context},
        {"k", false, PropertyList(1), PropertyList(2), &context},
        {"k", true, PropertyList(2), std::nullopt, &context},
        {"k", false, PropertyList(2), PropertyList(0), &context}}},
  };
  for (const Case& c : cases) {
    suite->setObject(PropertyList(1), "k");
    auto recorder = std::make_shared<Recorder>();
    suite->addObserver(recorder, "k", c.options, &context);
    suite->setObject(PropertyList(2), "k");
    suite->setObject(PropertyList(9), "other");
    suite->removeObject("k");
    EXPECT_EQ(recorder->calls, c.expected) << c.options;
    suite->removeObserver(recorder.get(), "k", &context);
    suite->setObject(PropertyList(3), "k");
    EXPECT_EQ(recorder->calls.size(), c.expected.size()) << c.options;
  }
}

TEST(UserDefaultsObservation, OrderRemovalAndLifetime) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("observed");
  std::vector<std::string> order;
  auto first = std::make_shared<Recorder>([&](Recorder&) { order.push_back("first"); });
  auto second = std::make_shared<Recorder>([&](Recorder&) { order.push_back("second"); });
  suite->addObserver(second, "k", 0, nullptr);
  suite->addObserver(first, "k", 0, nullptr);
  suite->addObserver(second, "k", 0, nullptr);  // twice: called twice
  suite->setObject(PropertyList(1), "k");
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first", "second"}));

  // One removal ends both registrations; other contexts are separate registrations.
  const int context = 0;
  suite->addObserver(first, "k", 0, &context);
  suite->removeObserver(second.get(), "k", nullptr);
  suite->removeObserver(first.get(), "k", nullptr);
  order.clear();
  suite->setObject(PropertyList(2), "k");
  EXPECT_EQ(order, (std::vector<std::string>{"first"}));
  suite->removeObserver(first.get(), "k", &context);

  // Observers are held weakly: a released one is not called.
  auto released = std::make_shared<Recorder>([&](Recorder&) { order.push_back("released"); });
  suite->addObserver(released, "k", 0, nullptr);
  released.reset();
  order.clear();
  suite->setObject(PropertyList(3), "k");
  EXPECT_TRUE(order.empty());

  // An observer may remove itself, or the last reference to itself, inside its own call.
  std::shared_ptr<Recorder> selfReleasing;
  std::weak_ptr<Recorder> watch;
  selfReleasing = std::make_shared<Recorder>([&](Recorder& me) {
    suite->removeObserver(&me, "k", nullptr);
    selfReleasing.reset();
  });
  watch = selfReleasing;
  suite->addObserver(selfReleasing, "k", 0, nullptr);
  suite->setObject(PropertyList(4), "k");
  EXPECT_TRUE(watch.expired());
  suite->setObject(PropertyList(5), "k");
}

TEST(UserDefaultsObservation, DeliveredOnTheWritingThread) {
  TemporaryConfigHome home;
  auto suite = UserDefaults::suite("threads");
  std::atomic<int> calls{0};
  std::thread::id deliveredOn;
  auto recorder = std::make_shared<Recorder>([&](Recorder&) {
    deliveredOn = std::this_thread::get_id();
    ++calls;
  });
  suite->addObserver(recorder, "k", 0, nullptr);
  std::thread::id writer;
  std::thread([&] {
    writer = std::this_thread::get_id();
    suite->setObject(PropertyList(1), "k");
  }).join();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(deliveredOn, writer);
}

TEST(MainQueue, RunsQueuedBlocksInOrderWhenDrained) {
  EXPECT_TRUE(MainQueue::isMainThread());
  bool otherIsMain = true;
  std::vector<int> ran;
  std::thread([&] {
    otherIsMain = MainQueue::isMainThread();
    for (int i = 0; i < 3; ++i) MainQueue::shared().async([&ran, i] { ran.push_back(i); });
  }).join();
  EXPECT_FALSE(otherIsMain);
  EXPECT_TRUE(ran.empty());
  MainQueue::shared().async([&] { MainQueue::shared().async([&] { ran.push_back(4); }); });
  EXPECT_EQ(MainQueue::shared().drain(), 5u);
  EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 4}));
  EXPECT_EQ(MainQueue::shared().drain(), 0u);

  std::thread stopper([] { MainQueue::shared().async([] { MainQueue::shared().stop(); }); });
  MainQueue::shared().run();  // returns once the stopping block ran
  stopper.join();
}

}  // namespace
}  // namespace platform
