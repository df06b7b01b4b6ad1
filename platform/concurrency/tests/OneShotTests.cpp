#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/concurrency/DispatchQueue.hpp"
#include "platform/concurrency/OneShot.hpp"
#include "platform/core/Result.hpp"

namespace platform {
namespace {

using IntFuture = Future<int, std::runtime_error>;

// Records what one subscriber receives, as "v<value>", "f" (finished) or "e<message>".
struct Recorder {
  std::mutex mutex;
  std::string calls;
  std::thread::id thread;
  AnyCancellable subscribe(const IntFuture& future) {
    return future.sink(
        [this](const int& value) {
          std::lock_guard lock(mutex);
          calls += "v" + std::to_string(value);
          thread = std::this_thread::get_id();
        },
        [this](const Completion<std::runtime_error>& completion) {
          std::lock_guard lock(mutex);
          calls += completion.isFinished() ? std::string("f") : "e" + std::string(completion.failure->what());
        });
  }
  std::string text() {
    std::lock_guard lock(mutex);
    return calls;
  }
};

TEST(Result, SuccessAndFailure) {
  auto ok = Result<int, std::runtime_error>::success(7);
  auto bad = Result<int, std::runtime_error>::failure(std::runtime_error("broken"));
  EXPECT_TRUE(ok.isSuccess());
  EXPECT_EQ(ok.get(), 7);
  EXPECT_TRUE(bad.isFailure());
  EXPECT_STREQ(bad.error().what(), "broken");
  EXPECT_THROW(bad.get(), std::runtime_error);
  EXPECT_THROW((void)bad.value(), std::bad_variant_access);

  using Done = Result<void, std::string>;
  auto none = Done::success();
  EXPECT_TRUE(none.isSuccess());
  EXPECT_EQ(none, Done::success());
  EXPECT_NE(none, Done::failure("x"));
  EXPECT_EQ((Result<int, std::string>::failure("x")), (Result<int, std::string>::failure("x")));
}

TEST(Future, StartsAtCreationEvenWithoutSubscribers) {
  int started = 0;
  IntFuture future([&](IntFuture::Promise promise) {
    ++started;
    promise(IntFuture::Outcome::success(1));
  });
  EXPECT_EQ(started, 1);
  IntFuture copy = future;
  EXPECT_EQ(started, 1);
  ASSERT_TRUE(copy.outcome().has_value());
  EXPECT_EQ(copy.outcome()->value(), 1);
}

// Cases: who subscribes when, and which outcome the promise gets first.
TEST(Future, EverySubscriberGetsTheFirstOutcomeOnce) {
  struct Case {
    bool fail;
    std::string expected;
  };
  for (const Case& c : {Case{false, "v5f"}, Case{true, "eno"}}) {
    DispatchQueue worker("test.fulfil");
    IntFuture::Promise promise;
    IntFuture future([&](IntFuture::Promise p) { promise = std::move(p); });
    Recorder early, cancelled, late;
    AnyCancellable first = early.subscribe(future);
    AnyCancellable gone = cancelled.subscribe(future);
    gone.cancel();
    std::thread::id workerThread;
    worker.async([&] {
      workerThread = std::this_thread::get_id();
      promise(c.fail ? IntFuture::Outcome::failure(std::runtime_error("no")) : IntFuture::Outcome::success(5));
      promise(IntFuture::Outcome::success(6));  // ignored
    });
    worker.waitUntilIdle();
    EXPECT_EQ(early.text(), c.expected);
    EXPECT_EQ(cancelled.text(), "");
    AnyCancellable after = late.subscribe(future);
    EXPECT_EQ(late.text(), c.expected);  // at once, inside sink
    if (!c.fail) {
      EXPECT_EQ(early.thread, workerThread);
      EXPECT_EQ(late.thread, std::this_thread::get_id());
    }
  }
}

TEST(Future, VoidValues) {
  Future<void, std::string> future([](auto promise) { promise(Result<void, std::string>::success()); });
  std::string calls;
  AnyCancellable subscription = future.sink(
      [&] { calls += "v"; }, [&](const Completion<std::string>& c) { calls += c.isFinished() ? "f" : "e"; });
  EXPECT_EQ(calls, "vf");
}

// Subscribers race the promise on other threads: each still gets the outcome exactly once.
TEST(Future, SubscribersRacingTheOutcome) {
  for (int round = 0; round < 20; ++round) {
    IntFuture::Promise promise;
    IntFuture future([&](IntFuture::Promise p) { promise = std::move(p); });
    constexpr int subscribers = 8;
    std::vector<Recorder> recorders(subscribers);
    std::vector<AnyCancellable> subscriptions(subscribers);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < subscribers; ++i)
      threads.emplace_back([&, i] {
        while (!go) std::this_thread::yield();
        subscriptions[i] = recorders[i].subscribe(future);
      });
    std::thread fulfiller([&] {
      while (!go) std::this_thread::yield();
      promise(IntFuture::Outcome::success(round));
    });
    go = true;
    for (auto& thread : threads) thread.join();
    fulfiller.join();
    for (auto& recorder : recorders) EXPECT_EQ(recorder.text(), "v" + std::to_string(round) + "f");
  }
}

// A subscriber that keeps its own future alive does not keep it after the outcome.
TEST(Future, SubscribersAreReleasedAfterTheOutcome) {
  IntFuture::Promise promise;
  auto future = std::make_shared<IntFuture>([&](IntFuture::Promise p) { promise = std::move(p); });
  std::weak_ptr<IntFuture> weak = future;
  AnyCancellable subscription = future->sink([future](const int&) {});
  future.reset();
  EXPECT_FALSE(weak.expired());
  promise(IntFuture::Outcome::success(1));
  promise = nullptr;
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace platform
