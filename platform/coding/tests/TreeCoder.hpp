#pragma once
// A small coder over a tree of texts, lists and keyed nodes: enough of a real coder to
// drive every path of the coding interface from a test.

#include <charconv>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/coding/Codable.hpp"

namespace tree {

using namespace platform::coding;

struct Node;
using Fields = std::vector<std::pair<std::string, Node>>;
using List = std::vector<Node>;

/// Nil, a text, a keyed node or a list.
struct Node {
  std::variant<std::monostate, std::string, Fields, List> value;

  static Node text(std::string text) { return Node{std::move(text)}; }
  bool isNil() const { return std::holds_alternative<std::monostate>(value); }
  const Node* find(std::string_view key) const {
    if (const auto* fields = std::get_if<Fields>(&value))
      for (const auto& [name, node] : *fields)
        if (name == key) return &node;
    return nullptr;
  }
  friend bool operator==(const Node&, const Node&) = default;
};

template <typename T>
T parse(const Node& node, const CodingPath& path) {
  const auto* text = std::get_if<std::string>(&node.value);
  if (!text) throw DecodingError::typeMismatch<T>({path, "Expected a text.", nullptr});
  if constexpr (std::same_as<T, std::string>) {
    return *text;
  } else if constexpr (std::same_as<T, bool>) {
    if (*text == "true" || *text == "false") return *text == "true";
  } else {
    T value{};
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error == std::errc() && end == text->data() + text->size()) return value;
  }
  throw DecodingError::typeMismatch<T>({path, "Not a " + std::string(typeName<T>()) + ": " + *text, nullptr});
}

class TreeDecoder final : public Decoder {
 public:
  TreeDecoder(const Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {}

  const CodingPath& codingPath() const override { return path_; }
  const UserInfo& userInfo() const override { return *userInfo_; }
  KeyedDecodingBox makeKeyedContainer() override;
  UnkeyedDecodingBox makeUnkeyedContainer() override;
  SingleValueDecodingBox makeSingleValueContainer() override;

  const Node& node() const { return *node_; }

 private:
  const Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

class TreeEncoder final : public Encoder {
 public:
  TreeEncoder(Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {}

  const CodingPath& codingPath() const override { return path_; }
  const UserInfo& userInfo() const override { return *userInfo_; }
  KeyedEncodingBox makeKeyedContainer() override;
  UnkeyedEncodingBox makeUnkeyedContainer() override;
  SingleValueEncodingBox makeSingleValueContainer() override;

 private:
  Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

template <typename T>
T decode(const Node& node, const UserInfo& userInfo = {}) {
  TreeDecoder decoder(node, {}, userInfo);
  return decodeValue<T>(decoder);
}

template <typename T>
Node encode(const T& value, const UserInfo& userInfo = {}) {
  Node node;
  TreeEncoder encoder(node, {}, userInfo);
  encodeValue(value, encoder);
  return node;
}

}  // namespace tree
