#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "TimeSeries/CodableHelper.hpp"
#include "TimeSeries/DeletePredicateRequest.hpp"
#include "TimeSeries/Query.hpp"
#include "TimeSeries/QueryAPI.hpp"
#include "platform/coding/Codable.hpp"

namespace TimeSeries {
namespace {

using namespace platform::coding;
using Json = nlohmann::ordered_json;

#define PZ_COMMA ,

// A small coder over JSON documents, with the client's dates: enough to code the request
// models through the coding interface and compare with their own JSON.
[[noreturn]] void mismatch(std::string_view type, const CodingPath& path) {
  throw DecodingError::typeMismatch(type, {path, "Expected to decode " + std::string(type) + ".", nullptr});
}

template <typename T>
T read(const Json& value, const CodingPath& path) {
  if constexpr (std::same_as<T, bool>) {
    if (!value.is_boolean()) mismatch("Bool", path);
  } else if constexpr (std::same_as<T, std::string>) {
    if (!value.is_string()) mismatch("String", path);
  } else {
    if (!value.is_number()) mismatch(typeName<T>(), path);
  }
  return value.get<T>();
}

platform::Date readDate(const Json& value, const CodingPath& path) {
  if (auto date = CodableHelper::dateFormatter()->date(read<std::string>(value, path))) return *date;
  throw DecodingError::dataCorrupted({path, "Not a date.", nullptr});
}

[[noreturn]] void unused() { throw std::logic_error("not used by the request models"); }

class DocumentDecoder final : public Decoder {
 public:
  DocumentDecoder(const Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  const UserInfo& userInfo() const override { return userInfo_; }
  KeyedDecodingBox makeKeyedContainer() override;
  UnkeyedDecodingBox makeUnkeyedContainer() override;
  SingleValueDecodingBox makeSingleValueContainer() override;

 private:
  const Json& node_;
  CodingPath path_;
  UserInfo userInfo_;
};

// The number reads, each through `Read<T>(Key)`.
#define PZ_READ_NUMBERS(Args, Read, Key)                                            \
  double decodeDouble(Args) override { return Read<double>(Key); }                  \
  float decodeFloat(Args) override { return Read<float>(Key); }                     \
  std::int8_t decodeInt8(Args) override { return Read<std::int8_t>(Key); }          \
  std::int16_t decodeInt16(Args) override { return Read<std::int16_t>(Key); }       \
  std::int32_t decodeInt32(Args) override { return Read<std::int32_t>(Key); }       \
  std::int64_t decodeInt64(Args) override { return Read<std::int64_t>(Key); }       \
  std::uint8_t decodeUInt8(Args) override { return Read<std::uint8_t>(Key); }       \
  std::uint16_t decodeUInt16(Args) override { return Read<std::uint16_t>(Key); }    \
  std::uint32_t decodeUInt32(Args) override { return Read<std::uint32_t>(Key); }    \
  std::uint64_t decodeUInt64(Args) override { return Read<std::uint64_t>(Key); }

class KeyedReader final : public KeyedDecodingContainerBase {
 public:
  KeyedReader(const Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  void allKeys(KeyCollector& collector) override {
    for (const auto& [name, value] : node_.items()) collector.offer(std::string_view(name));
  }
  bool contains(const CodingKey& key) override { return node_.contains(std::string(key.stringValue())); }
  bool decodeNil(const CodingKey& key) override { return at(key).is_null(); }
  bool decodeBool(const CodingKey& key) override { return read<bool>(at(key), path(key)); }
  std::string decodeString(const CodingKey& key) override { return read<std::string>(at(key), path(key)); }
  PZ_READ_NUMBERS(const CodingKey& key, readAt, key)
  platform::Date decodeDate(const CodingKey& key) override { return readDate(at(key), path(key)); }
  void withDecoder(const CodingKey& key, FunctionRef<void(Decoder&)> decode) override {
    DocumentDecoder decoder(at(key), path(key));
    decode(decoder);
  }
  KeyedDecodingBox nestedContainer(const CodingKey&) override { unused(); }
  UnkeyedDecodingBox nestedUnkeyedContainer(const CodingKey&) override { unused(); }
  std::unique_ptr<Decoder> superDecoder() override { unused(); }
  std::unique_ptr<Decoder> superDecoder(const CodingKey&) override { unused(); }

 private:
  const Json& at(const CodingKey& key) const {
    const auto found = node_.find(std::string(key.stringValue()));
    if (found == node_.end()) throw DecodingError::keyNotFound(key, {path_, "No value.", nullptr});
    return *found;
  }
  CodingPath path(const CodingKey& key) const { return path_.appending(key); }
  template <typename T>
  T readAt(const CodingKey& key) const {
    return read<T>(at(key), path(key));
  }

  const Json& node_;
  CodingPath path_;
};

// One value, or the elements of an array one after another.
template <typename Base>
class ValueReader final : public Base {
 public:
  ValueReader(const Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  bool decodeNil() override {
    if (!current().is_null()) return false;
    advance();
    return true;
  }
  bool decodeBool() override { return take<bool>(); }
  std::string decodeString() override { return take<std::string>(); }
  PZ_READ_NUMBERS(, take, )
  platform::Date decodeDate() override {
    platform::Date date = readDate(current(), path_);
    advance();
    return date;
  }
  void withDecoder(FunctionRef<void(Decoder&)> decode) override {
    DocumentDecoder decoder(current(), elementPath());
    decode(decoder);
    advance();
  }
  // The array's side.
  std::optional<std::int64_t> count() { return static_cast<std::int64_t>(node_.size()); }
  bool isAtEnd() { return index_ >= node_.size(); }
  std::int64_t currentIndex() const { return static_cast<std::int64_t>(index_); }
  KeyedDecodingBox nestedContainer() { unused(); }
  UnkeyedDecodingBox nestedUnkeyedContainer() { unused(); }
  std::unique_ptr<Decoder> superDecoder() { unused(); }

 private:
  static constexpr bool isArray = std::same_as<Base, UnkeyedDecodingContainerBase>;
  const Json& current() const {
    if constexpr (isArray) {
      if (index_ >= node_.size()) throw DecodingError::valueNotFound("Any", {path_, "At the end.", nullptr});
      return node_[index_];
    } else {
      return node_;
    }
  }
  CodingPath elementPath() const {
    if constexpr (isArray) return path_.appending(CodingKey("JSONKey", "Index " + std::to_string(index_), index_));
    return path_;
  }
  void advance() { ++index_; }
  template <typename T>
  T take() {
    T value = read<T>(current(), elementPath());
    advance();
    return value;
  }

  const Json& node_;
  CodingPath path_;
  std::size_t index_ = 0;
};

KeyedDecodingBox DocumentDecoder::makeKeyedContainer() {
  if (!node_.is_object()) mismatch("Dictionary<String, Any>", path_);
  return KeyedDecodingBox::make<KeyedReader>(node_, path_);
}
UnkeyedDecodingBox DocumentDecoder::makeUnkeyedContainer() {
  if (!node_.is_array()) mismatch("Array<Any>", path_);
  return UnkeyedDecodingBox::make<ValueReader<UnkeyedDecodingContainerBase>>(node_, path_);
}
SingleValueDecodingBox DocumentDecoder::makeSingleValueContainer() {
  return SingleValueDecodingBox::make<ValueReader<SingleValueDecodingContainerBase>>(node_, path_);
}

class DocumentEncoder final : public Encoder {
 public:
  DocumentEncoder(Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  const UserInfo& userInfo() const override { return userInfo_; }
  KeyedEncodingBox makeKeyedContainer() override;
  UnkeyedEncodingBox makeUnkeyedContainer() override;
  SingleValueEncodingBox makeSingleValueContainer() override;

 private:
  Json& node_;
  CodingPath path_;
  UserInfo userInfo_;
};

#define PZ_WRITE_NUMBERS(Key, Put)                                           \
  void encodeDouble(Key double value) override { Put; }                      \
  void encodeFloat(Key float value) override { Put; }                        \
  void encodeInt8(Key std::int8_t value) override { Put; }                   \
  void encodeInt16(Key std::int16_t value) override { Put; }                 \
  void encodeInt32(Key std::int32_t value) override { Put; }                 \
  void encodeInt64(Key std::int64_t value) override { Put; }                 \
  void encodeUInt8(Key std::uint8_t value) override { Put; }                 \
  void encodeUInt16(Key std::uint16_t value) override { Put; }               \
  void encodeUInt32(Key std::uint32_t value) override { Put; }               \
  void encodeUInt64(Key std::uint64_t value) override { Put; }

class KeyedWriter final : public KeyedEncodingContainerBase {
 public:
  KeyedWriter(Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  void encodeNil(const CodingKey& key) override { at(key) = nullptr; }
  void encodeBool(const CodingKey& key, bool value) override { at(key) = value; }
  void encodeString(const CodingKey& key, std::string_view value) override { at(key) = std::string(value); }
  PZ_WRITE_NUMBERS(const CodingKey& key PZ_COMMA, at(key) = value)
  void encodeDate(const CodingKey& key, const platform::Date& value) override {
    at(key) = CodableHelper::jsonEncoder()->encodeDate(value, path_.appending(key));
  }
  void withEncoder(const CodingKey& key, FunctionRef<void(Encoder&)> encode) override {
    DocumentEncoder encoder(at(key), path_.appending(key));
    encode(encoder);
  }
  KeyedEncodingBox nestedContainer(const CodingKey&) override { unused(); }
  UnkeyedEncodingBox nestedUnkeyedContainer(const CodingKey&) override { unused(); }
  std::unique_ptr<Encoder> superEncoder() override { unused(); }
  std::unique_ptr<Encoder> superEncoder(const CodingKey&) override { unused(); }

 private:
  Json& at(const CodingKey& key) { return node_[std::string(key.stringValue())]; }

  Json& node_;
  CodingPath path_;
};

template <typename Base>
class ValueWriter final : public Base {
 public:
  ValueWriter(Json& node, CodingPath path) : node_(node), path_(std::move(path)) {}
  const CodingPath& codingPath() const override { return path_; }
  void encodeNil() override { slot() = nullptr; }
  void encodeBool(bool value) override { slot() = value; }
  void encodeString(std::string_view value) override { slot() = std::string(value); }
  PZ_WRITE_NUMBERS(, slot() = value)
  void encodeDate(const platform::Date& value) override {
    slot() = CodableHelper::jsonEncoder()->encodeDate(value, path_);
  }
  void withEncoder(FunctionRef<void(Encoder&)> encode) override {
    DocumentEncoder encoder(slot(), path_);
    encode(encoder);
  }
  // The array's side.
  std::int64_t count() const { return static_cast<std::int64_t>(node_.size()); }
  KeyedEncodingBox nestedContainer() { unused(); }
  UnkeyedEncodingBox nestedUnkeyedContainer() { unused(); }
  std::unique_ptr<Encoder> superEncoder() { unused(); }

 private:
  Json& slot() {
    if constexpr (std::same_as<Base, UnkeyedEncodingContainerBase>) {
      node_.push_back(nullptr);
      return node_.back();
    } else {
      return node_;
    }
  }

  Json& node_;
  CodingPath path_;
};

KeyedEncodingBox DocumentEncoder::makeKeyedContainer() {
  if (!node_.is_object()) node_ = Json::object();
  return KeyedEncodingBox::make<KeyedWriter>(node_, path_);
}
UnkeyedEncodingBox DocumentEncoder::makeUnkeyedContainer() {
  if (!node_.is_array()) node_ = Json::array();
  return UnkeyedEncodingBox::make<ValueWriter<UnkeyedEncodingContainerBase>>(node_, path_);
}
SingleValueEncodingBox DocumentEncoder::makeSingleValueContainer() {
  return SingleValueEncodingBox::make<ValueWriter<SingleValueEncodingContainerBase>>(node_, path_);
}

template <typename T>
Json encoded(const T& value) {
  Json document;
  DocumentEncoder encoder(document, {});
  encodeValue(value, encoder);
  return document;
}

template <typename T>
T decoded(const Json& document) {
  DocumentDecoder decoder(document, {});
  return decodeValue<T>(decoder);
}

platform::Date utc(double secondsSince1970) { return platform::Date::fromTimeIntervalSince1970(secondsSince1970); }

// Through any coder, the models write what their own JSON holds, in the same order, and
// read it back.
TEST(RequestModels, CodeThroughTheCodingInterface) {
  const Query queries[] = {
      Query("from(bucket: \"b\")"),
      Query("q", Query::ModelType::flux, std::map<std::string, std::string>{{"b", "2"}, {"a", "1"}},
            QueryAPI::defaultDialect(), utc(1714564800.123)),
      Query("q", std::nullopt, std::map<std::string, std::string>{}, Dialect(), std::nullopt),
      Query("q", std::nullopt, std::nullopt,
            Dialect(false, ";", std::vector<Dialect::Annotations>{}, std::nullopt, Dialect::DateTimeFormat::rfc3339nano)),
  };
  for (const Query& query : queries) {
    const Json json = query.toJSON();
    EXPECT_EQ(encoded(query).dump(), json.dump());
    const Query read = decoded<Query>(json);
    EXPECT_EQ(read.toJSON().dump(), json.dump());
  }
  const DeletePredicateRequest requests[] = {
      DeletePredicateRequest(utc(1714564800), utc(1714564860)),
      DeletePredicateRequest(utc(0), utc(1), "_measurement=\"cpu\""),
  };
  for (const DeletePredicateRequest& request : requests) {
    const Json json = request.toJSON();
    EXPECT_EQ(encoded(request).dump(), json.dump());
    EXPECT_EQ(decoded<DeletePredicateRequest>(json).toJSON().dump(), json.dump());
  }
  EXPECT_EQ(encoded(Dialect::Annotations::_default), Json("default"));
  EXPECT_EQ(decoded<Dialect::DateTimeFormat>(Json("RFC3339Nano")), Dialect::DateTimeFormat::rfc3339nano);

  // Nulls count as absent, unknown keys are ignored.
  const Query sparse = decoded<Query>(Json::parse(
      R"({"query":"q","type":null,"params":null,"dialect":{"header":null,"annotations":["default"]},"other":1})"));
  EXPECT_EQ(sparse.toJSON().dump(), R"({"query":"q","dialect":{"annotations":["default"]}})");
  EXPECT_FALSE(decoded<DeletePredicateRequest>(
                   Json::parse(R"({"start":"2024-05-01T12:00:00Z","stop":"2024-05-01T12:00:00Z","predicate":null})"))
                   .predicate);
}

TEST(RequestModels, DecodingFailuresThroughTheCodingInterface) {
  struct Case {
    const char* name;
    std::function<void()> decode;
    DecodingError::Kind kind;
    const char* text;  // the data-corrupted description, or the missing key
  };
  const Case cases[] = {
      {"no query", [] { decoded<Query>(Json::parse(R"({"type":"flux"})")); }, DecodingError::Kind::keyNotFound,
       "query"},
      {"no stop", [] { decoded<DeletePredicateRequest>(Json::parse(R"({"start":"2024-05-01T12:00:00Z"})")); },
       DecodingError::Kind::keyNotFound, "stop"},
      {"Default", [] { decoded<Query>(Json::parse(R"({"query":"q","dialect":{"annotations":["Default"]}})")); },
       DecodingError::Kind::dataCorrupted, "Cannot initialize Annotations from invalid String value Default"},
      {"rfc3339", [] { decoded<Dialect>(Json::parse(R"({"dateTimeFormat":"rfc3339"})")); },
       DecodingError::Kind::dataCorrupted, "Cannot initialize DateTimeFormat from invalid String value rfc3339"},
      {"sql", [] { decoded<Query>(Json::parse(R"({"query":"q","type":"sql"})")); }, DecodingError::Kind::dataCorrupted,
       "Cannot initialize ModelType from invalid String value sql"},
      {"header text", [] { decoded<Dialect>(Json::parse(R"({"header":"yes"})")); }, DecodingError::Kind::typeMismatch,
       nullptr},
  };
  for (const Case& c : cases) {
    try {
      c.decode();
      ADD_FAILURE() << c.name << ": decoded";
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.name;
      if (c.kind == DecodingError::Kind::keyNotFound) {
        EXPECT_EQ(error.key()->stringValue(), c.text) << c.name;
      } else if (c.kind == DecodingError::Kind::dataCorrupted) {
        EXPECT_EQ(error.context().debugDescription, c.text) << c.name;
      }
    }
  }
  // A date that cannot be written stops the encoding, as in the JSON.
  EXPECT_THROW(encoded(DeletePredicateRequest(platform::Date{std::numeric_limits<double>::infinity()}, utc(0))),
               EncodingError);
}

}  // namespace
}  // namespace TimeSeries
