#include <gtest/gtest.h>

#include "Defaults/LifetimeAssociation.hpp"

namespace Defaults {
namespace {

struct Owner : AssociationHost {};

struct Target {
  Target(std::vector<std::string>& events, std::string label) : log(events), name(std::move(label)) {}
  ~Target() { log.push_back(name + " released"); }
  std::vector<std::string>& log;
  std::string name;
};

TEST(LifetimeAssociation, TiesAndTheirEnds) {
  std::vector<std::string> log;
  auto tie = [&](Owner& owner, const std::string& name) {
    auto target = std::make_shared<Target>(log, name);
    return std::make_unique<LifetimeAssociation>(target, owner, [&log, name] { log.push_back(name + " handler"); });
  };

  {  // The owner keeps its targets until it goes; each handler runs before its target is released.
    auto owner = std::make_unique<Owner>();
    auto a = tie(*owner, "a");
    auto b = tie(*owner, "b");
    EXPECT_TRUE(log.empty());
    owner.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"a handler", "a released", "b handler", "b released"}));
    log.clear();
    a->cancel();  // after the owner: nothing
    a.reset();
    EXPECT_TRUE(log.empty());
  }
  {  // Cancelling one tie leaves the other; cancelling twice does nothing more.
    Owner owner;
    auto a = tie(owner, "a");
    auto b = tie(owner, "b");
    a->cancel();
    EXPECT_EQ(log, (std::vector<std::string>{"a handler", "a released"}));
    a->cancel();
    EXPECT_EQ(log.size(), 2u);
    log.clear();
    b.reset();  // destroying the association unties it too
    EXPECT_EQ(log, (std::vector<std::string>{"b handler", "b released"}));
    log.clear();
  }
  {  // A replaced handler does not run.
    Owner owner;
    auto a = tie(owner, "a");
    a->tracker()->setDeinitHandler([] {});
    a->cancel();
    EXPECT_EQ(log, (std::vector<std::string>{"a released"}));
    EXPECT_EQ(a->tracker(), nullptr);
  }
}

TEST(ObjectAssociation, EachInstanceIsItsOwnSlot) {
  Owner owner, other;
  ObjectAssociation<int> first, second;
  EXPECT_EQ(first.get(owner), std::nullopt);
  first.set(owner, 1);
  second.set(owner, 2);
  first.set(other, 3);
  EXPECT_EQ(first.get(owner), 1);
  EXPECT_EQ(second.get(owner), 2);
  EXPECT_EQ(first.get(other), 3);
  first.set(owner, std::nullopt);
  EXPECT_EQ(first.get(owner), std::nullopt);
  EXPECT_EQ(second.get(owner), 2);
}

}  // namespace
}  // namespace Defaults
