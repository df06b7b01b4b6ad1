#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "platform/concurrency/Signal.hpp"

namespace platform {
namespace {

// Each case: three subscribers A, B, C; while receiving the first value, one of
// them runs an action. The calls of two sends are recorded.
TEST(Signal, DeliveryOrderAndCancellationDuringDelivery) {
  enum class Action { none, aCancelsItself, aCancelsC, cCancelsA, bSubscribesD, bDestroysAll };
  struct Case {
    Action action;
    std::string expected;
  };
  const Case cases[] = {
      {Action::none, "ABC|ABC"},
      {Action::aCancelsItself, "ABC|BC"},
      {Action::aCancelsC, "AB|AB"},
      {Action::cCancelsA, "ABC|BC"},
      {Action::bSubscribesD, "ABC|ABCD"},
      {Action::bDestroysAll, "AB|"},
  };
  for (const Case& c : cases) {
    Subject<int> subject;
    std::string calls;
    AnyCancellable a, b, cc, d;
    a = subject.sink([&](const int& value) {
      calls += 'A';
      if (value != 1) return;
      if (c.action == Action::aCancelsItself) a.cancel();
      if (c.action == Action::aCancelsC) cc.cancel();
    });
    b = subject.sink([&](const int& value) {
      calls += 'B';
      if (value != 1) return;
      if (c.action == Action::bSubscribesD) d = subject.sink([&](const int&) { calls += 'D'; });
      if (c.action == Action::bDestroysAll) a = AnyCancellable(), b = AnyCancellable(), cc = AnyCancellable();
    });
    cc = subject.sink([&](const int& value) {
      calls += 'C';
      if (value == 1 && c.action == Action::cCancelsA) a.cancel();
    });
    subject.send(1);
    calls += '|';
    subject.send(2);
    EXPECT_EQ(calls, c.expected) << static_cast<int>(c.action);
  }
}

TEST(Signal, LifetimeOfSubscriptionsAndSubjects) {
  int received = 0;
  auto subject = std::make_unique<Subject<>>();
  AnyCancellable first = subject->sink([&] { ++received; });
  {
    AnyCancellable scoped = subject->sink([&] { received += 10; });
    subject->send();
  }
  EXPECT_EQ(received, 11);
  EXPECT_EQ(subject->subscriberCount(), 1u);

  AnyCancellable replaced = subject->sink([&] { received += 100; });
  replaced = subject->sink([&] { received += 1000; });  // the moved-over subscription ends
  subject->send();
  EXPECT_EQ(received, 1012);

  std::vector<AnyCancellable> bag;
  std::move(first).store(bag);
  subject->send();
  EXPECT_EQ(received, 2013);
  subject.reset();  // subscriptions outliving their subject end quietly
  bag.clear();
  replaced.cancel();
}

// After cancel() returns on one thread, a delivery running on another has
// finished and no further one starts.
TEST(Signal, CancelDoesNotRaceDelivery) {
  Subject<int> subject;
  std::atomic<bool> cancelled{false};
  std::atomic<bool> calledAfterCancel{false};
  std::atomic<int> deliveries{0};
  AnyCancellable subscription = subject.sink([&](const int&) {
    deliveries.fetch_add(1);
    for (int spin = 0; spin < 200; ++spin) {
      if (cancelled.load()) calledAfterCancel.store(true);
    }
  });
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    while (!stop.load()) subject.send(1);
  });
  while (deliveries.load() < 50) std::this_thread::yield();
  subscription.cancel();
  cancelled.store(true);
  int atCancel = deliveries.load();
  while (subject.subscriberCount() != 0) std::this_thread::yield();
  for (int i = 0; i < 1000; ++i) std::this_thread::yield();
  stop.store(true);
  sender.join();
  EXPECT_FALSE(calledAfterCancel.load());
  EXPECT_EQ(deliveries.load(), atCancel);
}

// Two threads send on one subject each; each subscriber, once both are running, sends on the other
// subject. Neither may wait for the other.
TEST(Signal, SubscribersThatSendToEachOtherOnTwoThreads) {
  Subject<int> first, second;
  std::atomic<int> inside{0};
  auto forward = [&](Subject<int>& target) {
    return [&](const int& value) {
      if (value != 1) return;
      ++inside;
      while (inside < 2) std::this_thread::yield();
      target.send(2);
    };
  };
  AnyCancellable a = first.sink(forward(second));
  AnyCancellable b = second.sink(forward(first));
  auto one = std::async(std::launch::async, [&] { first.send(1); });
  auto two = std::async(std::launch::async, [&] { second.send(1); });
  const auto limit = std::chrono::minutes(2);  // a deadlock, not a slow machine
  if (one.wait_for(limit) != std::future_status::ready || two.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "the senders wait for each other";
    std::_Exit(1);  // they never return: nothing left to clean up
  }
}

}  // namespace
}  // namespace platform
