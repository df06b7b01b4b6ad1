#include <gtest/gtest.h>

#include <thread>

#include "Defaults/ViewBindings.hpp"
#include "TestSuite.hpp"

namespace Defaults {
namespace {

class ViewBindingsTest : public testing_support::SuiteTest {
 protected:
  void SetUp() override { platform::MainQueue::shared().drain(); }

  // Counts re-renders of a view that observes `observable`, and where they happened.
  template <typename Value>
  platform::AnyCancellable countRenders(Observable<Value>& observable) {
    return observable.objectWillChange().sink([this] {
      ++renders;
      EXPECT_TRUE(platform::MainQueue::isMainThread());
    });
  }

  Key<std::int64_t> count{"Count", 0, suite};
  Key<bool> logging{"Logging", true, suite};
  int renders = 0;
};

TEST_F(ViewBindingsTest, AnnouncementsReachTheMainThread) {
  Default<std::int64_t> shown(count);
  auto view = countRenders(shown.observable());

  struct Case {
    std::function<void()> write;
    int beforeDrain, afterDrain;
  };
  const Case cases[] = {
      {[&] { set(count, 1); }, 1, 1},                                       // elsewhere, on the main thread
      {[&] { std::thread([&] { set(count, 2); }).join(); }, 0, 1},          // on another thread: queued
      {[&] { shown.setWrappedValue(3); }, 2, 2},                            // the setter announces too
      {[&] { shown.projectedValue().set(4); }, 2, 2},                       // so does the binding
      {[&] { count.reset(); }, 1, 1},                                       // a reset is a change
      {[&] { suite->setObject(Object(1), "Other"); }, 0, 0},                // other keys are not
      {[&] { updateWithoutNotifying([&] { set(count, 5); }); }, 0, 0},      // nor quiet writes
  };
  for (const Case& c : cases) {
    renders = 0;
    c.write();
    EXPECT_EQ(renders, c.beforeDrain);
    platform::MainQueue::shared().drain();
    EXPECT_EQ(renders, c.afterDrain);
  }
  EXPECT_EQ(shown.wrappedValue(), 5);
  EXPECT_EQ(shown.projectedValue().get(), 5);
}

TEST_F(ViewBindingsTest, QueuedAnnouncementsOutliveNothing) {
  auto observable = Observable<std::int64_t>::make(count);
  auto view = countRenders(*observable);
  std::thread([&] { set(count, 1); }).join();
  observable.reset();
  EXPECT_EQ(platform::MainQueue::shared().drain(), 1u);
  EXPECT_EQ(renders, 0);
}

TEST_F(ViewBindingsTest, DefaultProperty) {
  Default<std::int64_t> shown(count);
  EXPECT_EQ(shown.defaultValue(), 0);
  EXPECT_TRUE(shown.isDefaultValue());
  shown.setWrappedValue(shown.wrappedValue() + 7);
  EXPECT_FALSE(shown.isDefaultValue());

  std::vector<std::int64_t> published;
  auto token = shown.publisher().sink([&](const KeyChange<std::int64_t>& change) { published.push_back(change.newValue()); });
  EXPECT_EQ(published, (std::vector<std::int64_t>{7}));  // the current value at once
  shown.reset();
  EXPECT_EQ(published, (std::vector<std::int64_t>{7, 0}));
  EXPECT_TRUE(shown.isDefaultValue());
}

TEST_F(ViewBindingsTest, ToggleActions) {
  std::vector<bool> actions;
  Toggle<> plain("Report folder counts", logging);
  EXPECT_EQ(plain.label(), "Report folder counts");
  plain.render();
  plain.isOn().set(false);
  plain.render();
  EXPECT_FALSE(get(logging));
  EXPECT_FALSE(plain.isOn().get());

  Toggle<int> labelled(logging, [] { return 42; });
  EXPECT_EQ(labelled.label(), 42);
  auto toggle = Toggle<>("Report", logging).onChange([&](bool value) { actions.push_back(value); });
  auto view = countRenders(toggle.observable());
  toggle.render();
  struct Case {
    std::function<void()> change;
    std::vector<bool> actions;  // after the re-render
  };
  const Case cases[] = {
      {[&] { toggle.isOn().set(true); }, {true}},
      {[&] { set(logging, false); }, {true, false}},                                    // changed elsewhere
      {[&] { suite->setObject(Object("not a Boolean"), "Logging"); }, {true, false, true}},  // reads the default
      {[&] { suite->setObject(Object(false), "Logging"); }, {true, false, true, false}},
      {[&] { logging.reset(); }, {true, false, true, false, true}},                      // removed: the default
      {[&] { set(logging, true); }, {true, false, true, false, true}},                   // no change, no action
  };
  for (const Case& c : cases) {
    renders = 0;
    c.change();
    platform::MainQueue::shared().drain();
    EXPECT_GE(renders, 1);
    toggle.render();
    EXPECT_EQ(actions, c.actions);
  }
}

TEST(ViewStorage, CopiesShareTheBox) {
  ViewStorage<int> storage(1);
  ViewStorage<int> copy = storage;
  copy.setWrappedValue(2);
  EXPECT_EQ(storage.wrappedValue(), 2);
}

}  // namespace
}  // namespace Defaults
