#include "TreeCoder.hpp"

namespace tree {
namespace {

[[noreturn]] void mismatch(std::string_view type, const CodingPath& path) {
  throw DecodingError::typeMismatch(type, {path, "The node is of another kind.", nullptr});
}

class KeyedReader final : public KeyedDecodingContainerBase {
 public:
  KeyedReader(const Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {}

  const CodingPath& codingPath() const override { return path_; }
  void allKeys(KeyCollector& collector) override {
    for (const auto& [name, node] : std::get<Fields>(node_->value)) collector.offer(std::string_view(name));
  }
  bool contains(const CodingKey& key) override { return node_->find(key.stringValue()) != nullptr; }
  bool decodeNil(const CodingKey& key) override { return child(key).isNil(); }
  bool decodeBool(const CodingKey& key) override { return value<bool>(key); }
  std::string decodeString(const CodingKey& key) override { return value<std::string>(key); }
  double decodeDouble(const CodingKey& key) override { return value<double>(key); }
  float decodeFloat(const CodingKey& key) override { return value<float>(key); }
  std::int8_t decodeInt8(const CodingKey& key) override { return value<std::int8_t>(key); }
  std::int16_t decodeInt16(const CodingKey& key) override { return value<std::int16_t>(key); }
  std::int32_t decodeInt32(const CodingKey& key) override { return value<std::int32_t>(key); }
  std::int64_t decodeInt64(const CodingKey& key) override { return value<std::int64_t>(key); }
  std::uint8_t decodeUInt8(const CodingKey& key) override { return value<std::uint8_t>(key); }
  std::uint16_t decodeUInt16(const CodingKey& key) override { return value<std::uint16_t>(key); }
  std::uint32_t decodeUInt32(const CodingKey& key) override { return value<std::uint32_t>(key); }
  std::uint64_t decodeUInt64(const CodingKey& key) override { return value<std::uint64_t>(key); }
  void withDecoder(const CodingKey& key, FunctionRef<void(Decoder&)> decode) override {
    TreeDecoder decoder(child(key), path_.appending(key), *userInfo_);
    decode(decoder);
  }
  KeyedDecodingBox nestedContainer(const CodingKey& key) override {
    return TreeDecoder(child(key), path_.appending(key), *userInfo_).makeKeyedContainer();
  }
  UnkeyedDecodingBox nestedUnkeyedContainer(const CodingKey& key) override {
    return TreeDecoder(child(key), path_.appending(key), *userInfo_).makeUnkeyedContainer();
  }
  std::unique_ptr<Decoder> superDecoder() override {
    return std::make_unique<TreeDecoder>(*node_, path_, *userInfo_);
  }
  std::unique_ptr<Decoder> superDecoder(const CodingKey& key) override {
    return std::make_unique<TreeDecoder>(child(key), path_.appending(key), *userInfo_);
  }

 private:
  const Node& child(const CodingKey& key) const {
    if (const Node* node = node_->find(key.stringValue())) return *node;
    throw DecodingError::keyNotFound(key, {path_, "No value associated with key " + key.description() + ".", nullptr});
  }
  template <typename T>
  T value(const CodingKey& key) {
    return parse<T>(child(key), path_.appending(key));
  }

  const Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

/// The primitive reads of an unkeyed or single-value reader, each through `Self::value<T>()`.
template <typename Base, typename Self>
class PrimitiveReads : public Base {
 public:
  bool decodeBool() override { return self().template value<bool>(); }
  std::string decodeString() override { return self().template value<std::string>(); }
  double decodeDouble() override { return self().template value<double>(); }
  float decodeFloat() override { return self().template value<float>(); }
  std::int8_t decodeInt8() override { return self().template value<std::int8_t>(); }
  std::int16_t decodeInt16() override { return self().template value<std::int16_t>(); }
  std::int32_t decodeInt32() override { return self().template value<std::int32_t>(); }
  std::int64_t decodeInt64() override { return self().template value<std::int64_t>(); }
  std::uint8_t decodeUInt8() override { return self().template value<std::uint8_t>(); }
  std::uint16_t decodeUInt16() override { return self().template value<std::uint16_t>(); }
  std::uint32_t decodeUInt32() override { return self().template value<std::uint32_t>(); }
  std::uint64_t decodeUInt64() override { return self().template value<std::uint64_t>(); }
 private:
  Self& self() { return static_cast<Self&>(*this); }
};

class ListReader final : public PrimitiveReads<UnkeyedDecodingContainerBase, ListReader> {
  friend PrimitiveReads;

 public:
  ListReader(const Node& node, CodingPath path, const UserInfo& userInfo)
      : list_(&std::get<List>(node.value)), path_(std::move(path)), userInfo_(&userInfo) {}

  const CodingPath& codingPath() const override { return path_; }
  std::optional<std::int64_t> count() override { return static_cast<std::int64_t>(list_->size()); }
  bool isAtEnd() override { return static_cast<std::size_t>(index_) >= list_->size(); }
  std::int64_t currentIndex() const override { return index_; }
  bool decodeNil() override {
    if (!current().isNil()) return false;
    ++index_;
    return true;
  }
  void withDecoder(FunctionRef<void(Decoder&)> decode) override {
    TreeDecoder decoder(current(), elementPath(), *userInfo_);
    decode(decoder);
    ++index_;
  }
  KeyedDecodingBox nestedContainer() override {
    KeyedDecodingBox box = TreeDecoder(current(), elementPath(), *userInfo_).makeKeyedContainer();
    ++index_;
    return box;
  }
  UnkeyedDecodingBox nestedUnkeyedContainer() override {
    UnkeyedDecodingBox box = TreeDecoder(current(), elementPath(), *userInfo_).makeUnkeyedContainer();
    ++index_;
    return box;
  }
  std::unique_ptr<Decoder> superDecoder() override {
    auto decoder = std::make_unique<TreeDecoder>(current(), elementPath(), *userInfo_);
    ++index_;
    return decoder;
  }

 private:
  const Node& current() const {
    if (static_cast<std::size_t>(index_) < list_->size()) return (*list_)[static_cast<std::size_t>(index_)];
    throw DecodingError::valueNotFound("Any", {path_, "Unkeyed container is at end.", nullptr});
  }
  CodingPath elementPath() const {
    return path_.appending(CodingKey("Index", std::to_string(index_), index_));
  }
  template <typename T>
  T value() {
    T result = parse<T>(current(), elementPath());
    ++index_;
    return result;
  }

  const List* list_;
  CodingPath path_;
  const UserInfo* userInfo_;
  std::int64_t index_ = 0;
};

class ValueReader final : public PrimitiveReads<SingleValueDecodingContainerBase, ValueReader> {
  friend PrimitiveReads;

 public:
  explicit ValueReader(const TreeDecoder& decoder) : decoder_(decoder) {}

  const CodingPath& codingPath() const override { return decoder_.codingPath(); }
  bool decodeNil() override { return decoder_.node().isNil(); }
  void withDecoder(FunctionRef<void(Decoder&)> decode) override {
    TreeDecoder decoder = decoder_;
    decode(decoder);
  }

 private:
  template <typename T>
  T value() {
    return parse<T>(decoder_.node(), decoder_.codingPath());
  }
  TreeDecoder decoder_;
};

class KeyedWriter final : public KeyedEncodingContainerBase {
 public:
  KeyedWriter(Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {
    if (!std::holds_alternative<Fields>(node_->value)) node_->value = Fields{};
  }

  const CodingPath& codingPath() const override { return path_; }
  void encodeNil(const CodingKey& key) override { slot(key) = Node{}; }
  void encodeBool(const CodingKey& key, bool value) override { text(key, value ? "true" : "false"); }
  void encodeString(const CodingKey& key, std::string_view value) override { text(key, std::string(value)); }
  void encodeDouble(const CodingKey& key, double value) override { text(key, number(value)); }
  void encodeFloat(const CodingKey& key, float value) override { text(key, number(value)); }
  void encodeInt8(const CodingKey& key, std::int8_t value) override { text(key, number(value)); }
  void encodeInt16(const CodingKey& key, std::int16_t value) override { text(key, number(value)); }
  void encodeInt32(const CodingKey& key, std::int32_t value) override { text(key, number(value)); }
  void encodeInt64(const CodingKey& key, std::int64_t value) override { text(key, number(value)); }
  void encodeUInt8(const CodingKey& key, std::uint8_t value) override { text(key, number(value)); }
  void encodeUInt16(const CodingKey& key, std::uint16_t value) override { text(key, number(value)); }
  void encodeUInt32(const CodingKey& key, std::uint32_t value) override { text(key, number(value)); }
  void encodeUInt64(const CodingKey& key, std::uint64_t value) override { text(key, number(value)); }
  void withEncoder(const CodingKey& key, FunctionRef<void(Encoder&)> encode) override {
    TreeEncoder encoder(slot(key), path_.appending(key), *userInfo_);
    encode(encoder);
  }
  KeyedEncodingBox nestedContainer(const CodingKey& key) override {
    return KeyedEncodingBox::make<KeyedWriter>(slot(key), path_.appending(key), *userInfo_);
  }
  UnkeyedEncodingBox nestedUnkeyedContainer(const CodingKey& key) override {
    return TreeEncoder(slot(key), path_.appending(key), *userInfo_).makeUnkeyedContainer();
  }
  std::unique_ptr<Encoder> superEncoder() override {
    return std::make_unique<TreeEncoder>(slot(CodingKey("Super", "super", std::nullopt)), path_, *userInfo_);
  }
  std::unique_ptr<Encoder> superEncoder(const CodingKey& key) override {
    return std::make_unique<TreeEncoder>(slot(key), path_.appending(key), *userInfo_);
  }

  template <typename T>
  static std::string number(T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
  }

 private:
  Node& slot(const CodingKey& key) {
    auto& fields = std::get<Fields>(node_->value);
    for (auto& [name, node] : fields)
      if (name == key.stringValue()) return node;
    return fields.emplace_back(std::string(key.stringValue()), Node{}).second;
  }
  void text(const CodingKey& key, std::string value) { slot(key) = Node::text(std::move(value)); }

  Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

class ListWriter final : public UnkeyedEncodingContainerBase {
 public:
  ListWriter(Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {
    if (!std::holds_alternative<List>(node_->value)) node_->value = List{};
  }

  const CodingPath& codingPath() const override { return path_; }
  std::int64_t count() const override { return static_cast<std::int64_t>(std::get<List>(node_->value).size()); }
  void encodeNil() override { next(); }
  void encodeBool(bool value) override { next() = Node::text(value ? "true" : "false"); }
  void encodeString(std::string_view value) override { next() = Node::text(std::string(value)); }
  void encodeDouble(double value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeFloat(float value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeInt8(std::int8_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeInt16(std::int16_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeInt32(std::int32_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeInt64(std::int64_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeUInt8(std::uint8_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeUInt16(std::uint16_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeUInt32(std::uint32_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void encodeUInt64(std::uint64_t value) override { next() = Node::text(KeyedWriter::number(value)); }
  void withEncoder(FunctionRef<void(Encoder&)> encode) override {
    const CodingPath path = elementPath();
    TreeEncoder encoder(next(), path, *userInfo_);
    encode(encoder);
  }
  KeyedEncodingBox nestedContainer() override {
    const CodingPath path = elementPath();
    return KeyedEncodingBox::make<KeyedWriter>(next(), path, *userInfo_);
  }
  UnkeyedEncodingBox nestedUnkeyedContainer() override {
    const CodingPath path = elementPath();
    return UnkeyedEncodingBox::make<ListWriter>(next(), path, *userInfo_);
  }
  std::unique_ptr<Encoder> superEncoder() override {
    const CodingPath path = elementPath();
    return std::make_unique<TreeEncoder>(next(), path, *userInfo_);
  }

 private:
  CodingPath elementPath() const {
    const std::int64_t index = count();
    return path_.appending(CodingKey("Index", std::to_string(index), index));
  }
  // Elements live in a vector, so a nested container holds its node only while no sibling is added.
  Node& next() { return std::get<List>(node_->value).emplace_back(); }

  Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

class ValueWriter final : public SingleValueEncodingContainerBase {
 public:
  ValueWriter(Node& node, CodingPath path, const UserInfo& userInfo)
      : node_(&node), path_(std::move(path)), userInfo_(&userInfo) {}

  const CodingPath& codingPath() const override { return path_; }
  void encodeNil() override { *node_ = Node{}; }
  void encodeBool(bool value) override { *node_ = Node::text(value ? "true" : "false"); }
  void encodeString(std::string_view value) override { *node_ = Node::text(std::string(value)); }
  void encodeDouble(double value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeFloat(float value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeInt8(std::int8_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeInt16(std::int16_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeInt32(std::int32_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeInt64(std::int64_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeUInt8(std::uint8_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeUInt16(std::uint16_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeUInt32(std::uint32_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void encodeUInt64(std::uint64_t value) override { *node_ = Node::text(KeyedWriter::number(value)); }
  void withEncoder(FunctionRef<void(Encoder&)> encode) override {
    TreeEncoder encoder(*node_, path_, *userInfo_);
    encode(encoder);
  }

 private:
  Node* node_;
  CodingPath path_;
  const UserInfo* userInfo_;
};

}  // namespace

KeyedDecodingBox TreeDecoder::makeKeyedContainer() {
  if (!std::holds_alternative<Fields>(node_->value)) mismatch("Dictionary", path_);
  return KeyedDecodingBox::make<KeyedReader>(*node_, path_, *userInfo_);
}
UnkeyedDecodingBox TreeDecoder::makeUnkeyedContainer() {
  if (!std::holds_alternative<List>(node_->value)) mismatch("Array", path_);
  return UnkeyedDecodingBox::make<ListReader>(*node_, path_, *userInfo_);
}
SingleValueDecodingBox TreeDecoder::makeSingleValueContainer() {
  return SingleValueDecodingBox::make<ValueReader>(*this);
}

KeyedEncodingBox TreeEncoder::makeKeyedContainer() {
  return KeyedEncodingBox::make<KeyedWriter>(*node_, path_, *userInfo_);
}
UnkeyedEncodingBox TreeEncoder::makeUnkeyedContainer() {
  return UnkeyedEncodingBox::make<ListWriter>(*node_, path_, *userInfo_);
}
SingleValueEncodingBox TreeEncoder::makeSingleValueContainer() {
  return SingleValueEncodingBox::make<ValueWriter>(*node_, path_, *userInfo_);
}

}  // namespace tree
