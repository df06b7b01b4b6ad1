#pragma once
// A node of a tree of payloads: its children are owned, in order, and its parent is held
// weakly, so a tree is freed as soon as nothing holds its root. Nodes live in std::shared_ptr:
// make them with TreeItem<T>::make. Not thread-safe.
//
// What throws: an `add`, `setChildren` or `setParent` that would put a node below itself
// throws std::invalid_argument and changes nothing. JSON coding (keys "object" and
// "children"; the parent is not coded) throws the JSON library's errors, including for a tree
// deeper than 10,000 levels. Traversal, destruction and coding never recurse, so a deep
// chain cannot overflow the stack. Print a coded tree with JSONCoder (FileCoding.hpp), not
// with the JSON library's dump(), which recurses twice per level of nodes.

#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/core/Error.hpp"

namespace QVExtensions {

namespace tree_item_detail {

constexpr std::size_t maximumCodingDepth = 10'000;

[[noreturn]] inline void refuseDepth() {
  throw nlohmann::json::other_error::create(
      599, "TreeItem: a tree deeper than " + std::to_string(maximumCodingDepth) + " levels", nullptr);
}

}  // namespace tree_item_detail

template <typename T>
class TreeItem : public std::enable_shared_from_this<TreeItem<T>> {
  struct Key {
    explicit Key() = default;
  };

 public:
  using Pointer = std::shared_ptr<TreeItem>;
  /// The deepest tree JSON coding accepts, in levels of nodes.
  static constexpr std::size_t maximumCodingDepth = tree_item_detail::maximumCodingDepth;

  static Pointer make(T object) { return std::make_shared<TreeItem>(Key(), std::move(object)); }
  TreeItem(Key, T payload) : object(std::move(payload)) {}
  TreeItem(const TreeItem&) = delete;
  TreeItem& operator=(const TreeItem&) = delete;
  ~TreeItem() {
    // Children whose last owner this node is are taken apart here, not by recursion.
    std::vector<Pointer> pending = std::move(children_);
    while (!pending.empty()) {
      Pointer node = std::move(pending.back());
      pending.pop_back();
      if (node.use_count() == 1) {
        for (Pointer& child : node->children_) pending.push_back(std::move(child));
        node->children_.clear();
      }
    }
  }

  T object;

  Pointer parent() const { return parent_.lock(); }
  /// Throws std::invalid_argument when `parent` is this node or lies below it by parent links.
  void setParent(const Pointer& parent) {
    for (auto node = parent; node; node = node->parent_.lock())
      if (node.get() == this) throw std::invalid_argument("TreeItem: a node cannot be its own ancestor");
    parent_ = parent;
  }
  const std::vector<Pointer>& children() const noexcept { return children_; }
  /// Replaces the children as they are (their parents are left alone); throws as `add` does.
  void setChildren(std::vector<Pointer> children) {
    for (const Pointer& child : children) checkAdoptable(child);
    children_ = std::move(children);
  }

  /// 0 without a parent, else the parent's depth plus 1.
  std::size_t depth() const {
    // Parent links set by hand can disagree with the children; a cycle among them is refused
    // here instead of looping (Brent's cycle detection).
    std::size_t depth = 0, steps = 0, power = 1;
    const TreeItem* anchor = this;
    for (auto node = parent_.lock(); node; node = node->parent_.lock()) {
      if (node.get() == anchor) throw std::logic_error("TreeItem: the parent links form a cycle");
      ++depth;
      if (++steps == power) {
        anchor = node.get();
        power *= 2;
        steps = 0;
      }
    }
    return depth;
  }
  bool isLeaf() const noexcept { return children_.empty(); }

  /// Every node below this one, depth first: each child, then that child's descendants.
  std::vector<Pointer> allDescendants() const {
    std::vector<Pointer> found;
    visitDescendants([&](const Pointer& node) {
      found.push_back(node);
      return false;
    });
    return found;
  }
  /// The first of `allDescendants()` whose payload equals `payload`.
  Pointer descendant(const T& payload) const
    requires std::equality_comparable<T>
  {
    Pointer match;
    visitDescendants([&](const Pointer& node) {
      if (!(node->object == payload)) return false;
      match = node;
      return true;
    });
    return match;
  }

  /// Inserts at `index`, or appends when there is none or it is past the end. The child's
  /// parent becomes this node unless their payloads are equal.
  void add(Pointer child, std::optional<std::size_t> index = std::nullopt) {
    checkAdoptable(child);
    insert(std::move(child), index);
  }
  /// Each in order, the index advancing by one per child; nothing is added when one is refused.
  void add(const std::vector<Pointer>& children, std::optional<std::size_t> index = std::nullopt) {
    for (const Pointer& child : children) checkAdoptable(child);
    for (const Pointer& child : children) insert(child, index ? std::optional(index.value()++) : std::nullopt);
  }
  void add(const std::vector<T>& objects, std::optional<std::size_t> index = std::nullopt) {
    for (const T& payload : objects) insert(make(payload), index ? std::optional(index.value()++) : std::nullopt);
  }

  /// Removes the first child equal to `child` (by payload) and clears that child's parent.
  void remove(const Pointer& child)
    requires std::equality_comparable<T>
  {
    if (!child) return;
    for (auto it = children_.begin(); it != children_.end(); ++it) {
      if (!((*it)->object == child->object)) continue;
      (*it)->parent_.reset();
      children_.erase(it);
      return;
    }
  }
  void remove(const std::vector<Pointer>& children)
    requires std::equality_comparable<T>
  {
    for (const Pointer& child : children) remove(child);
  }

  /// "<TreeItem payload depth>".
  std::string description() const { return "<TreeItem " + text(object) + " " + std::to_string(depth()) + ">"; }

  friend bool operator==(const TreeItem& a, const TreeItem& b)
    requires std::equality_comparable<T>
  {
    return a.object == b.object;
  }
  friend bool operator<(const TreeItem& a, const TreeItem& b)
    requires std::totally_ordered<T>
  {
    return a.object < b.object;
  }
  friend bool operator<=(const TreeItem& a, const TreeItem& b)
    requires std::totally_ordered<T>
  {
    return a.object <= b.object;
  }
  friend bool operator>(const TreeItem& a, const TreeItem& b)
    requires std::totally_ordered<T>
  {
    return a.object > b.object;
  }
  friend bool operator>=(const TreeItem& a, const TreeItem& b)
    requires std::totally_ordered<T>
  {
    return a.object >= b.object;
  }

 private:
  // Refuses what would make `child` contain this node: itself, or any node whose subtree
  // holds it (the parent link is not enough: `add` sets none between equal payloads).
  void checkAdoptable(const Pointer& child) const {
    if (!child) throw std::invalid_argument("TreeItem: a child cannot be null");
    std::vector<const TreeItem*> pending{child.get()};
    std::unordered_set<const TreeItem*> seen;
    while (!pending.empty()) {
      const TreeItem* node = pending.back();
      pending.pop_back();
      if (node == this) throw std::invalid_argument("TreeItem: a node cannot be added below itself");
      if (node->children_.empty() || !seen.insert(node).second) continue;
      for (const Pointer& grandchild : node->children_) pending.push_back(grandchild.get());
    }
  }

  void insert(Pointer child, std::optional<std::size_t> index) {
    if constexpr (std::equality_comparable<T>) {
      if (!(child->object == object)) child->parent_ = this->weak_from_this();
    } else {
      child->parent_ = this->weak_from_this();
    }
    if (index && *index < children_.size())
      children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(*index), std::move(child));
    else
      children_.push_back(std::move(child));
  }

  // Calls `visit` on each descendant in pre-order until it answers true.
  template <typename Visit>
  void visitDescendants(Visit visit) const {
    std::vector<const Pointer*> pending;
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) pending.push_back(&*it);
    while (!pending.empty()) {
      const Pointer& node = *pending.back();
      pending.pop_back();
      if (visit(node)) return;
      for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it) pending.push_back(&*it);
    }
  }

  static std::string text(const T& value) {
    if constexpr (requires { platform::describe(value); }) {
      return platform::describe(value);
    } else {
      std::ostringstream stream;
      stream << value;
      return stream.str();
    }
  }

  std::weak_ptr<TreeItem> parent_;
  std::vector<Pointer> children_;
};

template <typename T>
void to_json(nlohmann::json& json, const TreeItem<T>& root) {
  const auto node = [](const T& payload) {
    nlohmann::json coded = nlohmann::json::object();
    coded["object"] = payload;
    coded["children"] = nlohmann::json::array();
    return coded;
  };
  nlohmann::json coded = node(root.object);
  struct Frame {
    const TreeItem<T>* item;
    nlohmann::json* target;  // elements of finished arrays do not move
    std::size_t level;
  };
  std::vector<Frame> pending{{&root, &coded, 1}};
  while (!pending.empty()) {
    const Frame frame = pending.back();
    pending.pop_back();
    const auto& children = frame.item->children();
    if (children.empty()) continue;
    if (frame.level >= TreeItem<T>::maximumCodingDepth) tree_item_detail::refuseDepth();
    auto& array = (*frame.target)["children"].template get_ref<nlohmann::json::array_t&>();
    array.reserve(children.size());
    for (const auto& child : children) array.push_back(node(child->object));
    for (std::size_t i = 0; i < children.size(); ++i) pending.push_back({children[i].get(), &array[i], frame.level + 1});
  }
  json = std::move(coded);
}

template <typename T>
void to_json(nlohmann::json& json, const std::shared_ptr<TreeItem<T>>& root) {
  if (root)
    to_json(json, *root);
  else
    json = nullptr;
}

/// Parents are set as `add` sets them.
template <typename T>
void from_json(const nlohmann::json& json, std::shared_ptr<TreeItem<T>>& root) {
  auto decoded = TreeItem<T>::make(json.at("object").template get<T>());
  struct Frame {
    const nlohmann::json* coded;
    TreeItem<T>* item;
    std::size_t level;
  };
  std::vector<Frame> pending{{&json, decoded.get(), 1}};
  while (!pending.empty()) {
    const Frame frame = pending.back();
    pending.pop_back();
    const auto& children = frame.coded->at("children").template get_ref<const nlohmann::json::array_t&>();
    if (children.empty()) continue;
    if (frame.level >= TreeItem<T>::maximumCodingDepth) tree_item_detail::refuseDepth();
    for (const auto& coded : children) {
      auto child = TreeItem<T>::make(coded.at("object").template get<T>());
      frame.item->add(child);
      pending.push_back({&coded, child.get(), frame.level + 1});
    }
  }
  root = std::move(decoded);
}

}  // namespace QVExtensions
