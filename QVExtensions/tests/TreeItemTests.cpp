#include <gtest/gtest.h>

#include <string>

#include "QVExtensions/TreeItem.hpp"

namespace QVExtensions {
namespace {

using Node = TreeItem<int>;

std::vector<int> payloads(const std::vector<Node::Pointer>& nodes) {
  std::vector<int> result;
  for (const auto& node : nodes) result.push_back(node->object);
  return result;
}

TEST(TreeItem, ShapeDepthAndOrder) {
  const auto root = Node::make(5);
  EXPECT_EQ(root->depth(), 0u);
  EXPECT_TRUE(root->isLeaf());
  EXPECT_TRUE(root->allDescendants().empty());
  EXPECT_EQ(root->parent(), nullptr);
  EXPECT_EQ(root->description(), "<TreeItem 5 0>");

  const auto first = Node::make(1);
  const auto second = Node::make(2);
  const auto grandchild = Node::make(11);
  root->add(first);
  root->add(second);
  first->add(grandchild);
  EXPECT_EQ(payloads(root->allDescendants()), (std::vector<int>{1, 11, 2}));
  EXPECT_EQ(grandchild->depth(), 2u);
  EXPECT_EQ(grandchild->parent(), first);
  EXPECT_EQ(grandchild->description(), "<TreeItem 11 2>");
  EXPECT_FALSE(root->isLeaf());
  EXPECT_EQ(root->descendant(11), grandchild);
  EXPECT_EQ(root->descendant(5), nullptr);  // the node itself is no descendant
  EXPECT_EQ(root->descendant(99), nullptr);

  // A child with the parent's payload is inserted without a parent link.
  const auto twin = Node::make(5);
  root->add(twin);
  EXPECT_EQ(twin->parent(), nullptr);
  EXPECT_EQ(root->children().back(), twin);

  EXPECT_TRUE(*first < *second);
  EXPECT_TRUE(*second >= *first);
  EXPECT_TRUE(*twin == *root);
  EXPECT_EQ(TreeItem<std::string>::make("a b")->description(), "<TreeItem a b 0>");
  EXPECT_EQ(TreeItem<double>::make(2)->description(), "<TreeItem 2.0 0>");
}

TEST(TreeItem, InsertionIndexesAndRemoval) {
  struct Case {
    std::vector<int> added;
    std::optional<std::size_t> index;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {{7}, std::nullopt, {1, 2, 3, 7}},   {{7}, 0, {7, 1, 2, 3}},       {{7, 8}, 1, {1, 7, 8, 2, 3}},
      {{7, 8}, 3, {1, 2, 3, 7, 8}},         {{7, 8}, 2, {1, 2, 7, 8, 3}}, {{7, 8, 9}, 99, {1, 2, 3, 7, 8, 9}},
      {{}, 0, {1, 2, 3}},
  };
  for (const auto& c : cases) {
    const auto root = Node::make(0);
    root->add(std::vector<int>{1, 2, 3});
    root->add(c.added, c.index);
    EXPECT_EQ(payloads(root->children()), c.expected);
    for (const auto& child : root->children()) EXPECT_EQ(child->parent(), root);
  }

  const auto root = Node::make(0);
  const auto a = Node::make(1);
  const auto b = Node::make(2);
  root->add({a, b}, 0);
  EXPECT_EQ(payloads(root->children()), (std::vector<int>{1, 2}));
  // Removal finds the child by payload: a stranger equal to `b` removes `b`.
  root->remove(Node::make(2));
  EXPECT_EQ(payloads(root->children()), std::vector<int>{1});
  EXPECT_EQ(b->parent(), nullptr);
  root->remove({a, Node::make(42), nullptr});
  EXPECT_TRUE(root->isLeaf());
  EXPECT_EQ(a->parent(), nullptr);
}

TEST(TreeItem, NothingCanBeAddedBelowItself) {
  const auto root = Node::make(0);
  const auto child = Node::make(1);
  const auto grandchild = Node::make(2);
  const auto twin = Node::make(0);  // equal to the root: added without a parent link
  root->add(child);
  child->add(grandchild);
  child->add(twin);

  const auto refused = [&](auto&& add) {
    const auto before = payloads(root->allDescendants());
    EXPECT_THROW(add(), std::invalid_argument);
    EXPECT_EQ(payloads(root->allDescendants()), before);
  };
  refused([&] { root->add(root); });
  refused([&] { grandchild->add(root); });
  refused([&] { grandchild->add(child, 0); });
  refused([&] { twin->add(root); });  // found through the children, not the parent link
  refused([&] { grandchild->add(std::vector<Node::Pointer>{Node::make(9), root}); });
  refused([&] { grandchild->setChildren({child}); });
  refused([&] { root->add(Node::Pointer()); });
  EXPECT_THROW(root->setParent(grandchild), std::invalid_argument);
  EXPECT_EQ(root->parent(), nullptr);

  // The same node twice, or under two parents, is no cycle.
  const auto shared = Node::make(3);
  root->add({shared, shared});
  child->add(shared);
  EXPECT_EQ(payloads(root->allDescendants()), (std::vector<int>{1, 2, 0, 3, 3, 3}));

  // Parent links set by hand that loop are reported, not followed forever.
  const auto x = Node::make(10);
  const auto y = Node::make(11);
  x->setParent(y);
  y->add(Node::make(12));
  x->add(y);  // y's subtree does not hold x, but y's new parent link closes a loop
  EXPECT_THROW((void)x->depth(), std::logic_error);
  y->setParent(nullptr);
  EXPECT_EQ(x->depth(), 1u);
}

TEST(TreeItem, ParentsAreWeakAndDeepChainsAreSafe) {
  std::weak_ptr<Node> orphan;
  {
    const auto root = Node::make(0);
    const auto child = Node::make(1);
    root->add(child);
    orphan = root;
  }
  EXPECT_TRUE(orphan.expired());

  constexpr int length = 1'000'000;
  auto root = Node::make(0);
  auto tail = root;
  for (int i = 1; i < length; ++i) {
    auto next = Node::make(i);
    tail->add(next);
    tail = std::move(next);
  }
  EXPECT_EQ(tail->depth(), std::size_t(length - 1));
  EXPECT_EQ(root->allDescendants().size(), std::size_t(length - 1));
  EXPECT_EQ(root->descendant(length - 1), tail);
  EXPECT_THROW(tail->add(root), std::invalid_argument);
  EXPECT_THROW((void)nlohmann::json(root), nlohmann::json::other_error);

  std::weak_ptr<Node> last = tail;
  tail.reset();
  root.reset();  // a million nodes, freed without recursion
  EXPECT_TRUE(last.expired());
}

std::string chainJSON(int levels) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += R"({"object":)" + std::to_string(i) + R"(,"children":[)";
  for (int i = 0; i < levels; ++i) text += "]}";
  return text;
}

TEST(TreeItem, JSONCoding) {
  const auto root = Node::make(1);
  const auto a = Node::make(2);
  const auto twin = Node::make(1);
  root->add({a, twin});
  a->add(Node::make(3));
  const nlohmann::json coded = root;
  EXPECT_EQ(coded.dump(), R"({"children":[{"children":[{"children":[],"object":3}],"object":2},)"
                          R"({"children":[],"object":1}],"object":1})");

  const auto decoded = coded.get<Node::Pointer>();
  EXPECT_EQ(payloads(decoded->allDescendants()), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(decoded->children()[0]->parent(), decoded);
  EXPECT_EQ(decoded->children()[0]->children()[0]->depth(), 2u);
  EXPECT_EQ(decoded->children()[1]->parent(), nullptr);  // as `add` leaves an equal payload
  EXPECT_EQ(nlohmann::json(decoded), coded);
  EXPECT_EQ(nlohmann::json(Node::Pointer()), nullptr);

  struct Bad {
    const char* text;
    int id;  // the JSON library's error
  };
  const Bad bad[] = {
      {R"({"children":[]})", 403},
      {R"({"object":1})", 403},
      {R"({"object":1,"children":[{"object":2}]})", 403},
      {R"({"object":"one","children":[]})", 302},
      {R"({"object":1,"children":{}})", 303},
      {R"([1])", 304},
  };
  for (const auto& c : bad) {
    try {
      (void)nlohmann::json::parse(c.text).get<Node::Pointer>();
      ADD_FAILURE() << c.text;
    } catch (const nlohmann::json::exception& error) {
      EXPECT_EQ(error.id, c.id) << c.text << ": " << error.what();
    }
  }

  const auto deepest = nlohmann::json::parse(chainJSON(10'000)).get<Node::Pointer>();
  EXPECT_EQ(deepest->allDescendants().back()->depth(), 9'999u);
  EXPECT_NO_THROW((void)nlohmann::json(deepest));
  EXPECT_THROW((void)nlohmann::json::parse(chainJSON(10'001)).get<Node::Pointer>(), nlohmann::json::other_error);
}

}  // namespace
}  // namespace QVExtensions
