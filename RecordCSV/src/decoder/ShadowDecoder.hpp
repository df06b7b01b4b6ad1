#pragma once
// The decoder that decodable types receive, and its three containers. A coding path of no
// key stands for the whole input, one key for a row, two keys for one field. Decoders and
// containers refer to the call's source without owning it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "decoder/ShadowDecoderSource.hpp"
#include "platform/coding/Decoder.hpp"

namespace RecordCSV {

class ShadowDecoder final : public platform::coding::Decoder {
 public:
  using Source = ShadowDecoderSource;
  using CodingKey = platform::coding::CodingKey;
  using CodingPath = platform::coding::CodingPath;
  class KeyedContainer;
  class UnkeyedContainer;
  class SingleValueContainer;

  /// `lendsPath`: the decoder lives as long as any container made from it, as the decoders that
  /// the decoding hands to a type for one call do, so containers may refer to its path.
  ShadowDecoder(Source& source, CodingPath codingPath, bool lendsPath = false)
      : source_(&source), codingPath_(std::move(codingPath)), lendsPath_(lendsPath) {}
  /// A lending decoder for `parent` followed by `key`.
  ShadowDecoder(Source& source, const CodingPath& parent, CodingKey key) : source_(&source), lendsPath_(true) {
    // Key by key: a whole copy would copy the path's unused inline keys too.
    for (const CodingKey& step : parent) codingPath_.push_back(step);
    codingPath_.push_back(std::move(key));
  }

  Source& source() const noexcept { return *source_; }
  bool lendsPath() const noexcept { return lendsPath_; }
  /// The decoder of a sibling: the last key replaced.
  void replaceLastKey(CodingKey key) {
    codingPath_.pop_back();
    codingPath_.push_back(std::move(key));
  }
  const CodingPath& codingPath() const override { return codingPath_; }
  const platform::coding::UserInfo& userInfo() const override { return source_->userInfo(); }

  platform::coding::KeyedDecodingBox makeKeyedContainer() override;
  platform::coding::UnkeyedDecodingBox makeUnkeyedContainer() override;
  platform::coding::SingleValueDecodingBox makeSingleValueContainer() override;

 private:
  Source* source_;
  CodingPath codingPath_;
  bool lendsPath_;
};

/// A container's coding path: its decoder's when the decoder lends it, else a copy of its own.
class ContainerPath {
 public:
  explicit ContainerPath(const ShadowDecoder& decoder) {
    if (decoder.lendsPath())
      borrowed_ = &decoder.codingPath();
    else
      own_ = decoder.codingPath();
  }
  explicit ContainerPath(platform::coding::CodingPath own) : own_(std::move(own)) {}

  const platform::coding::CodingPath& get() const noexcept { return own_ ? *own_ : *borrowed_; }

 private:
  const platform::coding::CodingPath* borrowed_ = nullptr;
  std::optional<platform::coding::CodingPath> own_;
};

/// The decoder's invalidPath error; its user information names the coding path and, when given, a key.
CSVDecoderError invalidPathError(const char* reason, const char* help, const platform::coding::CodingPath& path,
                                 const platform::coding::CodingKey* key = nullptr);

/// What a single value stands for: the whole input, one row or one field.
struct ValueFocus {
  enum class Kind { row, field, file };
  Kind kind = Kind::file;
  std::int64_t row = 0;
  std::int64_t field = 0;

  static ValueFocus file() { return {Kind::file, 0, 0}; }
  static ValueFocus ofRow(std::int64_t row) { return {Kind::row, row, 0}; }
  static ValueFocus ofField(std::int64_t row, std::int64_t field) { return {Kind::field, row, field}; }
};

/// Where one value is decoded: its source, its focus and its coding path. The path's last keys
/// are held apart (a caller's key, then index keys) and joined only when a path is needed, so
/// that decoding a field builds no path.
struct ValueSite {
  ShadowDecoderSource& source;
  ValueFocus focus;
  const platform::coding::CodingPath& path;
  const platform::coding::CodingKey* key = nullptr;
  std::array<std::int64_t, 2> indexes{};
  int indexCount = 0;

  ValueSite withIndex(std::int64_t index) const {
    ValueSite site = *this;
    site.indexes[static_cast<std::size_t>(site.indexCount++)] = index;
    return site;
  }
  /// The whole coding path of the value.
  platform::coding::CodingPath codingPath() const;
};

/// The single-value operations at a site, shared by every container; their errors are the
/// single-value container's.
namespace ShadowValues {
bool decodeNil(const ValueSite& site);
bool decodeBool(const ValueSite& site);
std::string decodeString(const ValueSite& site);
double decodeDouble(const ValueSite& site);
float decodeFloat(const ValueSite& site);
template <typename Integer>
Integer decodeInteger(const ValueSite& site);
platform::Date decodeDate(const ValueSite& site);
platform::Data decodeData(const ValueSite& site);
platform::Decimal decodeDecimal(const ValueSite& site);
platform::URL decodeURL(const ValueSite& site);
/// Runs `decode` with a decoder at the site's path.
void withDecoder(const ValueSite& site, platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode);
}  // namespace ShadowValues

class ShadowDecoder::KeyedContainer final : public platform::coding::KeyedDecodingContainerBase {
 public:
  /// Focus by the path's length: the whole input, or the row of the one key's integer.
  explicit KeyedContainer(const ShadowDecoder& decoder);
  /// The row `row`, unchecked.
  KeyedContainer(Source& source, CodingPath codingPath, std::int64_t row)
      : source_(&source), path_(std::move(codingPath)), row_(row) {}

  const CodingPath& codingPath() const override { return path_.get(); }
  void allKeys(platform::coding::KeyCollector& collector) override;
  bool contains(const CodingKey& key) override;
  bool decodeNil(const CodingKey& key) override;
  bool decodeBool(const CodingKey& key) override { return ShadowValues::decodeBool(fieldSite(key)); }
  std::string decodeString(const CodingKey& key) override {
    if (row_) return std::string(source_->field(*row_, source_->fieldIndex(key, codingPath())));
    return ShadowValues::decodeString(fieldSite(key));
  }
  double decodeDouble(const CodingKey& key) override { return ShadowValues::decodeDouble(fieldSite(key)); }
  float decodeFloat(const CodingKey& key) override { return ShadowValues::decodeFloat(fieldSite(key)); }
  std::int8_t decodeInt8(const CodingKey& key) override { return integer<std::int8_t>(key); }
  std::int16_t decodeInt16(const CodingKey& key) override { return integer<std::int16_t>(key); }
  std::int32_t decodeInt32(const CodingKey& key) override { return integer<std::int32_t>(key); }
  std::int64_t decodeInt64(const CodingKey& key) override { return integer<std::int64_t>(key); }
  std::uint8_t decodeUInt8(const CodingKey& key) override { return integer<std::uint8_t>(key); }
  std::uint16_t decodeUInt16(const CodingKey& key) override { return integer<std::uint16_t>(key); }
  std::uint32_t decodeUInt32(const CodingKey& key) override { return integer<std::uint32_t>(key); }
  std::uint64_t decodeUInt64(const CodingKey& key) override { return integer<std::uint64_t>(key); }
  platform::Date decodeDate(const CodingKey& key) override { return ShadowValues::decodeDate(fieldSite(key)); }
  platform::Data decodeData(const CodingKey& key) override { return ShadowValues::decodeData(fieldSite(key)); }
  platform::Decimal decodeDecimal(const CodingKey& key) override { return ShadowValues::decodeDecimal(fieldSite(key)); }
  platform::URL decodeURL(const CodingKey& key) override { return ShadowValues::decodeURL(fieldSite(key)); }
  void withDecoder(const CodingKey& key,
                   platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) override;
  platform::coding::KeyedDecodingBox nestedContainer(const CodingKey& key) override;
  platform::coding::UnkeyedDecodingBox nestedUnkeyedContainer(const CodingKey& key) override;
  std::unique_ptr<platform::coding::Decoder> superDecoder() override;
  std::unique_ptr<platform::coding::Decoder> superDecoder(const CodingKey& key) override;

 private:
  template <typename Integer>
  Integer integer(const CodingKey& key) {
    return ShadowValues::decodeInteger<Integer>(fieldSite(key));
  }
  /// The site of the key's field: a column of the row, or field 0 of a one-field row of the file.
  ValueSite fieldSite(const CodingKey& key);
  /// The path of the row a file-level key names; throws when the key has no integer.
  CodingPath rowPath(const CodingKey& key, std::int64_t& row) const;

  Source* source_;
  ContainerPath path_;
  std::optional<std::int64_t> row_;  // absent: the whole input
};

class ShadowDecoder::UnkeyedContainer final : public platform::coding::UnkeyedDecodingContainerBase {
 public:
  /// Focus by the path's length: the whole input, or the row of the one key's integer.
  explicit UnkeyedContainer(const ShadowDecoder& decoder);
  /// The fields of row `row`, unchecked.
  UnkeyedContainer(Source& source, CodingPath codingPath, std::int64_t row)
      : source_(&source), path_(std::move(codingPath)), row_(row) {}

  const CodingPath& codingPath() const override { return path_.get(); }
  std::optional<std::int64_t> count() override;
  std::optional<std::int64_t> estimatedCount() override {
    if (row_) return std::nullopt;
    return source_->estimatedRowCount();
  }
  bool isAtEnd() override;
  std::int64_t currentIndex() const override { return currentIndex_; }
  bool decodeNil() override;
  bool decodeBool() override { return advancing(ShadowValues::decodeBool(elementSite())); }
  std::string decodeString() override { return advancing(ShadowValues::decodeString(elementSite())); }
  double decodeDouble() override { return advancing(ShadowValues::decodeDouble(elementSite())); }
  float decodeFloat() override { return advancing(ShadowValues::decodeFloat(elementSite())); }
  std::int8_t decodeInt8() override { return integer<std::int8_t>(); }
  std::int16_t decodeInt16() override { return integer<std::int16_t>(); }
  std::int32_t decodeInt32() override { return integer<std::int32_t>(); }
  std::int64_t decodeInt64() override { return integer<std::int64_t>(); }
  std::uint8_t decodeUInt8() override { return integer<std::uint8_t>(); }
  std::uint16_t decodeUInt16() override { return integer<std::uint16_t>(); }
  std::uint32_t decodeUInt32() override { return integer<std::uint32_t>(); }
  std::uint64_t decodeUInt64() override { return integer<std::uint64_t>(); }
  platform::Date decodeDate() override { return advancing(ShadowValues::decodeDate(elementSite())); }
  platform::Data decodeData() override { return advancing(ShadowValues::decodeData(elementSite())); }
  platform::Decimal decodeDecimal() override { return advancing(ShadowValues::decodeDecimal(elementSite())); }
  platform::URL decodeURL() override { return advancing(ShadowValues::decodeURL(elementSite())); }
  void withDecoder(platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) override;
  platform::coding::KeyedDecodingBox nestedContainer() override;
  platform::coding::UnkeyedDecodingBox nestedUnkeyedContainer() override;
  std::unique_ptr<platform::coding::Decoder> superDecoder() override;

 private:
  template <typename Integer>
  Integer integer() {
    return advancing(ShadowValues::decodeInteger<Integer>(elementSite()));
  }
  /// Moves past the element just decoded and hands its value on.
  template <typename Value>
  Value advancing(Value value) {
    ++currentIndex_;
    return value;
  }
  /// The site of the current element: a field of the row, or field 0 of a one-field row of the file.
  ValueSite elementSite();
  /// The path of the next row, which the container then passes; throws at the row focus.
  CodingPath takeRowPath(std::int64_t& row);

  Source* source_;
  ContainerPath path_;
  std::optional<std::int64_t> row_;  // absent: the whole input
  std::int64_t currentIndex_ = 0;
  std::optional<std::int64_t> failedAt_;  // the first index whose look-ahead failed
  // The elements' decoder, made once and moved from element to element; a decoding that comes
  // back to this container while it is in use gets a decoder of its own.
  std::unique_ptr<ShadowDecoder> elementDecoder_;
  bool elementDecoderInUse_ = false;
};

class ShadowDecoder::SingleValueContainer final : public platform::coding::SingleValueDecodingContainerBase {
 public:
  /// Focus by the path's length: the whole input, a row, or a field.
  explicit SingleValueContainer(const ShadowDecoder& decoder);

  const CodingPath& codingPath() const override { return path_.get(); }
  bool decodeNil() override { return ShadowValues::decodeNil(site()); }
  bool decodeBool() override { return ShadowValues::decodeBool(site()); }
  std::string decodeString() override { return ShadowValues::decodeString(site()); }
  double decodeDouble() override { return ShadowValues::decodeDouble(site()); }
  float decodeFloat() override { return ShadowValues::decodeFloat(site()); }
  std::int8_t decodeInt8() override { return ShadowValues::decodeInteger<std::int8_t>(site()); }
  std::int16_t decodeInt16() override { return ShadowValues::decodeInteger<std::int16_t>(site()); }
  std::int32_t decodeInt32() override { return ShadowValues::decodeInteger<std::int32_t>(site()); }
  std::int64_t decodeInt64() override { return ShadowValues::decodeInteger<std::int64_t>(site()); }
  std::uint8_t decodeUInt8() override { return ShadowValues::decodeInteger<std::uint8_t>(site()); }
  std::uint16_t decodeUInt16() override { return ShadowValues::decodeInteger<std::uint16_t>(site()); }
  std::uint32_t decodeUInt32() override { return ShadowValues::decodeInteger<std::uint32_t>(site()); }
  std::uint64_t decodeUInt64() override { return ShadowValues::decodeInteger<std::uint64_t>(site()); }
  platform::Date decodeDate() override { return ShadowValues::decodeDate(site()); }
  platform::Data decodeData() override { return ShadowValues::decodeData(site()); }
  platform::Decimal decodeDecimal() override { return ShadowValues::decodeDecimal(site()); }
  platform::URL decodeURL() override { return ShadowValues::decodeURL(site()); }
  void withDecoder(platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) override {
    ShadowValues::withDecoder(site(), decode);
  }

 private:
  ValueSite site() const { return ValueSite{*source_, focus_, path_.get()}; }

  Source* source_;
  ContainerPath path_;
  ValueFocus focus_;
};

}  // namespace RecordCSV
