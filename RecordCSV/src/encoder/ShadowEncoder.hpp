#pragma once
// The encoder that encodable values receive, and its containers. A coding path of no key
// stands for the whole output, one key for a row, two keys for one field. Encoders and
// containers refer to the encoding's sink without owning it. A container that cannot be
// granted is handed out as an `InvalidContainer`, which fails at its first write.

#include <array>
#include <charconv>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>

#include "encoder/ShadowEncoderSink.hpp"
#include "platform/coding/Encoder.hpp"

namespace RecordCSV {

class ShadowEncoder final : public platform::coding::Encoder {
 public:
  using CodingKey = platform::coding::CodingKey;
  using CodingPath = platform::coding::CodingPath;
  class KeyedContainer;
  class UnkeyedContainer;
  class SingleValueContainer;
  class FieldContainer;
  class InvalidContainer;

  ShadowEncoder(ShadowEncoderSink& sink, CodingPath codingPath) : sink_(&sink), codingPath_(std::move(codingPath)) {}

  ShadowEncoderSink& sink() const noexcept { return *sink_; }
  const CodingPath& codingPath() const override { return codingPath_; }
  const platform::coding::UserInfo& userInfo() const override { return sink_->userInfo(); }

  // Never fail: a container that cannot be made is handed out invalid.
  platform::coding::KeyedEncodingBox makeKeyedContainer() override;
  platform::coding::UnkeyedEncodingBox makeUnkeyedContainer() override;
  platform::coding::SingleValueEncodingBox makeSingleValueContainer() override;

 private:
  ShadowEncoderSink* sink_;
  CodingPath codingPath_;
};

/// What a single value stands for: the whole output, one row or one field.
struct EncodingFocus {
  enum class Kind { row, field, file };
  Kind kind = Kind::file;
  std::int64_t row = 0;
  std::int64_t field = 0;

  static EncodingFocus file() { return {Kind::file, 0, 0}; }
  static EncodingFocus ofRow(std::int64_t row) { return {Kind::row, row, 0}; }
  static EncodingFocus ofField(std::int64_t row, std::int64_t field) { return {Kind::field, row, field}; }
};

/// Where one value is written: the sink, the focus and the coding path. The path's last keys
/// (a caller's key, then index keys) are held apart and joined only when a path is needed,
/// so that writing a field builds no path.
struct EncodingSite {
  ShadowEncoderSink& sink;
  EncodingFocus focus;
  const platform::coding::CodingPath& path;
  const platform::coding::CodingKey* key = nullptr;
  std::array<std::int64_t, 2> indexes{};
  int indexCount = 0;

  EncodingSite withIndex(std::int64_t index) const {
    EncodingSite site = *this;
    site.indexes[static_cast<std::size_t>(site.indexCount++)] = index;
    return site;
  }
  /// The whole coding path of the value.
  platform::coding::CodingPath codingPath() const;
};

/// The errors that several containers raise alike.
namespace ShadowEncoderErrors {
/// A key that names a row has no integer.
CSVEncoderError invalidRowKey(const platform::coding::CodingPath& path, const platform::coding::CodingKey& key);
/// A plain value where rows, which have other than one field, are the elements.
CSVEncoderError nestedContainerRequired(const platform::coding::CodingPath& path);
/// A container asked for deeper than rows and fields; `recovery` says which request to drop,
/// and `key`, when given, the key it was asked for on.
CSVEncoderError tooDeep(const platform::coding::CodingPath& path, const char* recovery,
                        const platform::coding::CodingKey* key = nullptr);
}  // namespace ShadowEncoderErrors

/// The single-value operations at a site, shared by every container: the value strategies,
/// the text of each value, and the hand-over to the sink.
namespace ShadowEncoderValues {
void encodeNil(const EncodingSite& site);
void encodeBool(const EncodingSite& site, bool value);
void encodeString(const EncodingSite& site, std::string_view value);
void encodeDouble(const EncodingSite& site, double value);
void encodeFloat(const EncodingSite& site, float value);
void encodeInt64(const EncodingSite& site, std::int64_t value);
void encodeUInt64(const EncodingSite& site, std::uint64_t value);
void encodeDate(const EncodingSite& site, const platform::Date& value);
void encodeData(const EncodingSite& site, const platform::Data& value);
void encodeDecimal(const EncodingSite& site, const platform::Decimal& value);
void encodeURL(const EncodingSite& site, const platform::URL& value);
/// Runs `encode` with an encoder at the site's path.
void withEncoder(const EncodingSite& site, platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode);

/// The number as the platform prints it (platform/core/FloatingPointText.hpp).
std::string text(double value);
std::string text(float value);
}  // namespace ShadowEncoderValues

class ShadowEncoder::KeyedContainer final : public platform::coding::KeyedEncodingContainerBase {
 public:
  /// Focus by the path's length: the whole output, or the row of the one key's integer.
  explicit KeyedContainer(const ShadowEncoder& encoder);
  /// The row `row`, unchecked.
  KeyedContainer(ShadowEncoderSink& sink, CodingPath codingPath, std::int64_t row)
      : sink_(&sink), codingPath_(std::move(codingPath)), row_(row) {}

  const CodingPath& codingPath() const override { return codingPath_; }
  void encodeNil(const CodingKey& key) override { ShadowEncoderValues::encodeNil(fieldSite(key)); }
  void encodeBool(const CodingKey& key, bool value) override {
    ShadowEncoderValues::encodeBool(fieldSite(key), value);
  }
  void encodeString(const CodingKey& key, std::string_view value) override {
    // A field of a row is handed straight to the sink, without a site.
    if (row_) return sink_->fieldValue(value, *row_, sink_->fieldIndex(key, codingPath_));
    ShadowEncoderValues::encodeString(fieldSite(key), value);
  }
  void encodeDouble(const CodingKey& key, double value) override {
    ShadowEncoderValues::encodeDouble(fieldSite(key), value);
  }
  void encodeFloat(const CodingKey& key, float value) override {
    ShadowEncoderValues::encodeFloat(fieldSite(key), value);
  }
  void encodeInt8(const CodingKey& key, std::int8_t value) override { signedValue(key, value); }
  void encodeInt16(const CodingKey& key, std::int16_t value) override { signedValue(key, value); }
  void encodeInt32(const CodingKey& key, std::int32_t value) override { signedValue(key, value); }
  void encodeInt64(const CodingKey& key, std::int64_t value) override { signedValue(key, value); }
  void encodeUInt8(const CodingKey& key, std::uint8_t value) override { unsignedValue(key, value); }
  void encodeUInt16(const CodingKey& key, std::uint16_t value) override { unsignedValue(key, value); }
  void encodeUInt32(const CodingKey& key, std::uint32_t value) override { unsignedValue(key, value); }
  void encodeUInt64(const CodingKey& key, std::uint64_t value) override { unsignedValue(key, value); }
  void encodeDate(const CodingKey& key, const platform::Date& value) override {
    ShadowEncoderValues::encodeDate(fieldSite(key), value);
  }
  void encodeData(const CodingKey& key, const platform::Data& value) override {
    ShadowEncoderValues::encodeData(fieldSite(key), value);
  }
  void encodeDecimal(const CodingKey& key, const platform::Decimal& value) override {
    ShadowEncoderValues::encodeDecimal(fieldSite(key), value);
  }
  void encodeURL(const CodingKey& key, const platform::URL& value) override {
    ShadowEncoderValues::encodeURL(fieldSite(key), value);
  }
  void withEncoder(const CodingKey& key,
                   platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) override;
  /// The key's field is found first; an absent value then writes nil there.
  void encodeIfPresent(const CodingKey& key, const platform::coding::PresentValue* value) override;
  platform::coding::KeyedEncodingBox nestedContainer(const CodingKey& key) override;
  platform::coding::UnkeyedEncodingBox nestedUnkeyedContainer(const CodingKey& key) override;
  std::unique_ptr<platform::coding::Encoder> superEncoder() override;
  std::unique_ptr<platform::coding::Encoder> superEncoder(const CodingKey& key) override;

 private:
  void signedValue(const CodingKey& key, std::int64_t value) {
    if (row_) return integerField(key, value);
    ShadowEncoderValues::encodeInt64(fieldSite(key), value);
  }
  void unsignedValue(const CodingKey& key, std::uint64_t value) {
    if (row_) return integerField(key, value);
    ShadowEncoderValues::encodeUInt64(fieldSite(key), value);
  }
  /// An integer in a field of a row, handed straight to the sink.
  template <typename Integer>
  void integerField(const CodingKey& key, Integer value) {
    const std::int64_t field = sink_->fieldIndex(key, codingPath_);
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    sink_->fieldValue(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)), *row_, field);
  }
  /// The site of the key's field: a column of the row, or field 0 of a one-field row of the file.
  EncodingSite fieldSite(const CodingKey& key);
  /// The container of the row the key names, or an invalid one.
  template <typename Box, typename Container>
  Box nested(const CodingKey& key);

  ShadowEncoderSink* sink_;
  CodingPath codingPath_;
  std::optional<std::int64_t> row_;  // absent: the whole output
};

class ShadowEncoder::UnkeyedContainer final : public platform::coding::UnkeyedEncodingContainerBase {
 public:
  /// Focus by the path's length: the whole output, or the row of the one key's integer.
  explicit UnkeyedContainer(const ShadowEncoder& encoder);
  /// The fields of row `row`, unchecked.
  UnkeyedContainer(ShadowEncoderSink& sink, CodingPath codingPath, std::int64_t row)
      : sink_(&sink), codingPath_(std::move(codingPath)), row_(row) {}

  const CodingPath& codingPath() const override { return codingPath_; }
  std::int64_t count() const override;
  void encodeNil() override { advancing([](const EncodingSite& site) { ShadowEncoderValues::encodeNil(site); }); }
  void encodeBool(bool value) override {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeBool(site, value); });
  }
  void encodeString(std::string_view value) override {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeString(site, value); });
  }
  void encodeDouble(double value) override {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeDouble(site, value); });
  }
  void encodeFloat(float value) override {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeFloat(site, value); });
  }
  void encodeInt8(std::int8_t value) override { signedValue(value); }
  void encodeInt16(std::int16_t value) override { signedValue(value); }
  void encodeInt32(std::int32_t value) override { signedValue(value); }
  void encodeInt64(std::int64_t value) override { signedValue(value); }
  void encodeUInt8(std::uint8_t value) override { unsignedValue(value); }
  void encodeUInt16(std::uint16_t value) override { unsignedValue(value); }
  void encodeUInt32(std::uint32_t value) override { unsignedValue(value); }
  void encodeUInt64(std::uint64_t value) override { unsignedValue(value); }
  void encodeDate(const platform::Date& value) override {
    advancing([&value](const EncodingSite& site) { ShadowEncoderValues::encodeDate(site, value); });
  }
  void encodeData(const platform::Data& value) override {
    advancing([&value](const EncodingSite& site) { ShadowEncoderValues::encodeData(site, value); });
  }
  void encodeDecimal(const platform::Decimal& value) override {
    advancing([&value](const EncodingSite& site) { ShadowEncoderValues::encodeDecimal(site, value); });
  }
  void encodeURL(const platform::URL& value) override {
    advancing([&value](const EncodingSite& site) { ShadowEncoderValues::encodeURL(site, value); });
  }
  void withEncoder(platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) override;
  platform::coding::KeyedEncodingBox nestedContainer() override;
  platform::coding::UnkeyedEncodingBox nestedUnkeyedContainer() override;
  std::unique_ptr<platform::coding::Encoder> superEncoder() override;

  std::int64_t currentIndex() const noexcept { return currentIndex_; }

 private:
  void signedValue(std::int64_t value) {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeInt64(site, value); });
  }
  void unsignedValue(std::uint64_t value) {
    advancing([value](const EncodingSite& site) { ShadowEncoderValues::encodeUInt64(site, value); });
  }
  /// Writes the current element through `write` and, when that succeeds, moves past it.
  template <typename Write>
  void advancing(const Write& write) {
    write(elementSite());
    ++currentIndex_;
  }
  /// The site of the current element: a field of the row, or field 0 of a one-field row of the file.
  EncodingSite elementSite() const;
  /// The row path of the next element, which the container then passes; nothing at the row focus.
  std::optional<CodingPath> takeRowPath(std::int64_t& row);
  /// The container of the next row, or an invalid one at the row focus.
  template <typename Box, typename Container>
  Box nested();

  ShadowEncoderSink* sink_;
  CodingPath codingPath_;
  std::optional<std::int64_t> row_;  // absent: the whole output
  std::int64_t currentIndex_ = 0;
};

/// The single-value operations as a container, at the site `Self::site()` gives.
template <typename Self>
class SiteValueContainer : public platform::coding::SingleValueEncodingContainerBase {
 public:
  void encodeNil() override { ShadowEncoderValues::encodeNil(site()); }
  void encodeBool(bool value) override { ShadowEncoderValues::encodeBool(site(), value); }
  void encodeString(std::string_view value) override { ShadowEncoderValues::encodeString(site(), value); }
  void encodeDouble(double value) override { ShadowEncoderValues::encodeDouble(site(), value); }
  void encodeFloat(float value) override { ShadowEncoderValues::encodeFloat(site(), value); }
  void encodeInt8(std::int8_t value) override { ShadowEncoderValues::encodeInt64(site(), value); }
  void encodeInt16(std::int16_t value) override { ShadowEncoderValues::encodeInt64(site(), value); }
  void encodeInt32(std::int32_t value) override { ShadowEncoderValues::encodeInt64(site(), value); }
  void encodeInt64(std::int64_t value) override { ShadowEncoderValues::encodeInt64(site(), value); }
  void encodeUInt8(std::uint8_t value) override { ShadowEncoderValues::encodeUInt64(site(), value); }
  void encodeUInt16(std::uint16_t value) override { ShadowEncoderValues::encodeUInt64(site(), value); }
  void encodeUInt32(std::uint32_t value) override { ShadowEncoderValues::encodeUInt64(site(), value); }
  void encodeUInt64(std::uint64_t value) override { ShadowEncoderValues::encodeUInt64(site(), value); }
  void encodeDate(const platform::Date& value) override { ShadowEncoderValues::encodeDate(site(), value); }
  void encodeData(const platform::Data& value) override { ShadowEncoderValues::encodeData(site(), value); }
  void encodeDecimal(const platform::Decimal& value) override { ShadowEncoderValues::encodeDecimal(site(), value); }
  void encodeURL(const platform::URL& value) override { ShadowEncoderValues::encodeURL(site(), value); }
  void withEncoder(platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) override {
    ShadowEncoderValues::withEncoder(site(), encode);
  }

 private:
  EncodingSite site() const { return static_cast<const Self&>(*this).site(); }
};

class ShadowEncoder::SingleValueContainer final : public SiteValueContainer<SingleValueContainer> {
 public:
  /// Focus by the path's length: the whole output, a row, or a field.
  explicit SingleValueContainer(const ShadowEncoder& encoder);

  const CodingPath& codingPath() const override { return codingPath_; }
  EncodingSite site() const { return EncodingSite{*sink_, focus_, codingPath_}; }

 private:
  ShadowEncoderSink* sink_;
  CodingPath codingPath_;
  EncodingFocus focus_;
};

/// The single-value container of one field that a keyed container found; it lives no longer
/// than the call that made it.
class ShadowEncoder::FieldContainer final : public SiteValueContainer<FieldContainer> {
 public:
  explicit FieldContainer(const EncodingSite& site) : site_(site) {}

  const CodingPath& codingPath() const override {
    if (!codingPath_) codingPath_ = site_.codingPath();
    return *codingPath_;
  }
  EncodingSite site() const { return site_; }

 private:
  EncodingSite site_;
  mutable std::optional<CodingPath> codingPath_;
};

/// A container in all three roles that holds the error of a request that could not be
/// granted and throws it at every write; its super encoders are the requesting encoder.
class ShadowEncoder::InvalidContainer final : public platform::coding::KeyedEncodingContainerBase,
                                              public platform::coding::UnkeyedEncodingContainerBase,
                                              public platform::coding::SingleValueEncodingContainerBase {
 public:
  InvalidContainer(std::exception_ptr error, ShadowEncoder encoder)
      : error_(std::move(error)), encoder_(std::move(encoder)) {}

  const CodingPath& codingPath() const override { return encoder_.codingPath(); }
  std::int64_t count() const override { return 0; }

  void encodeNil(const CodingKey&) override { fail(); }
  void encodeBool(const CodingKey&, bool) override { fail(); }
  void encodeString(const CodingKey&, std::string_view) override { fail(); }
  void encodeDouble(const CodingKey&, double) override { fail(); }
  void encodeFloat(const CodingKey&, float) override { fail(); }
  void encodeInt8(const CodingKey&, std::int8_t) override { fail(); }
  void encodeInt16(const CodingKey&, std::int16_t) override { fail(); }
  void encodeInt32(const CodingKey&, std::int32_t) override { fail(); }
  void encodeInt64(const CodingKey&, std::int64_t) override { fail(); }
  void encodeUInt8(const CodingKey&, std::uint8_t) override { fail(); }
  void encodeUInt16(const CodingKey&, std::uint16_t) override { fail(); }
  void encodeUInt32(const CodingKey&, std::uint32_t) override { fail(); }
  void encodeUInt64(const CodingKey&, std::uint64_t) override { fail(); }
  void encodeDate(const CodingKey&, const platform::Date&) override { fail(); }
  void encodeData(const CodingKey&, const platform::Data&) override { fail(); }
  void encodeDecimal(const CodingKey&, const platform::Decimal&) override { fail(); }
  void encodeURL(const CodingKey&, const platform::URL&) override { fail(); }
  void withEncoder(const CodingKey&, platform::coding::FunctionRef<void(platform::coding::Encoder&)>) override {
    fail();
  }

  void encodeNil() override { fail(); }
  void encodeBool(bool) override { fail(); }
  void encodeString(std::string_view) override { fail(); }
  void encodeDouble(double) override { fail(); }
  void encodeFloat(float) override { fail(); }
  void encodeInt8(std::int8_t) override { fail(); }
  void encodeInt16(std::int16_t) override { fail(); }
  void encodeInt32(std::int32_t) override { fail(); }
  void encodeInt64(std::int64_t) override { fail(); }
  void encodeUInt8(std::uint8_t) override { fail(); }
  void encodeUInt16(std::uint16_t) override { fail(); }
  void encodeUInt32(std::uint32_t) override { fail(); }
  void encodeUInt64(std::uint64_t) override { fail(); }
  void encodeDate(const platform::Date&) override { fail(); }
  void encodeData(const platform::Data&) override { fail(); }
  void encodeDecimal(const platform::Decimal&) override { fail(); }
  void encodeURL(const platform::URL&) override { fail(); }
  void withEncoder(platform::coding::FunctionRef<void(platform::coding::Encoder&)>) override { fail(); }
  /// Fails even for an empty sequence.
  void encodeContents(platform::coding::FunctionRef<void(UnkeyedEncodingContainerBase&)>) override { fail(); }

  platform::coding::KeyedEncodingBox nestedContainer(const CodingKey&) override { return keyedCopy(); }
  platform::coding::UnkeyedEncodingBox nestedUnkeyedContainer(const CodingKey&) override { return unkeyedCopy(); }
  platform::coding::KeyedEncodingBox nestedContainer() override { return keyedCopy(); }
  platform::coding::UnkeyedEncodingBox nestedUnkeyedContainer() override { return unkeyedCopy(); }
  std::unique_ptr<platform::coding::Encoder> superEncoder() override {
    return std::make_unique<ShadowEncoder>(encoder_);
  }
  std::unique_ptr<platform::coding::Encoder> superEncoder(const CodingKey&) override {
    return std::make_unique<ShadowEncoder>(encoder_);
  }

 private:
  [[noreturn]] void fail() const { std::rethrow_exception(error_); }
  platform::coding::KeyedEncodingBox keyedCopy() const;
  platform::coding::UnkeyedEncodingBox unkeyedCopy() const;

  std::exception_ptr error_;
  ShadowEncoder encoder_;
};

}  // namespace RecordCSV
