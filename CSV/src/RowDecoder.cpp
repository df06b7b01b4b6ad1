#include "RowDecoder.hpp"

#include "FieldConversion.hpp"
#include "platform/core/Base64.hpp"
#include "platform/text/CanonicalText.hpp"
#include "platform/text/RFC3339Format.hpp"

namespace CSV {

using platform::coding::CodingErrorContext;
using platform::coding::DecodingError;
using platform::coding::typeName;

namespace {

/// A type that decodes itself under its own key would otherwise recurse without end.
constexpr std::size_t maximumPathLength = 64;

/// Internet date-times without a fraction, "Z" or ±hh:mm, years 0001–9999, upper case only.
const platform::RFC3339Format& iso8601Format() {
  static const platform::RFC3339Format format([] {
    platform::RFC3339Format::Options options;
    options.minimumFractionDigits = 0;
    options.maximumFractionDigits = 0;
    options.minimumYear = 1;
    options.maximumYear = 9999;
    options.acceptsOffsets = true;
    options.upperCaseOnly = true;
    return options;
  }());
  return format;
}

template <typename... F>
struct Overloaded : F... {
  using F::operator()...;
};
// Clang 14, which builds the fuzz targets, cannot deduce an aggregate's arguments by itself.
template <typename... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace

void CSVRowDecoder::decode(CSVReader& reader, FunctionRef<void(Decoder&)> body) const {
  const Options snapshot = options();
  RowDecoder decoder(reader, snapshot);
  body(decoder);
}

bool RowDecoder::contains(const CodingKey& key) const {
  const auto& row = reader_.currentRow();
  if (!row) return false;
  if (const std::optional<std::int64_t> index = key.intValue())
    return *index >= 0 && static_cast<std::uint64_t>(*index) < row->size();
  const auto& header = reader_.headerRow();
  return header && std::any_of(header->begin(), header->end(), [&key](const std::string& text) {
           return platform::canonicallyEqual(text, key.stringValue());
         });
}

std::string RowDecoder::field(const CodingKey& key) const {
  if (!contains(key)) {
    std::string text = "No value associated with key " + key.description() + " (\"";
    text.append(key.stringValue()).append("\").");
    throw DecodingError::keyNotFound(key, {codingPath_, std::move(text), nullptr});
  }
  if (const std::optional<std::int64_t> index = key.intValue()) return (*reader_.currentRow())[*index];
  return reader_[key.stringValue()].value_or(std::string());
}

std::string RowDecoder::currentField() const {
  if (codingPath_.empty())
    throw DecodingError::dataCorrupted(
        {codingPath_, "CSV does not support decoding a single value outside of a row field.", nullptr});
  return field(codingPath_.back());
}

bool RowDecoder::isNil(const std::string& text) const {
  return std::visit(Overloaded{[&](const CSVRowDecoder::NilDecoding::Empty&) { return text.empty(); },
                               [&](const CSVRowDecoder::NilDecoding::Custom& custom) { return custom.isNil(text); }},
                    options_.nilDecodingStrategy);
}

void RowDecoder::enter(const CodingKey& key) {
  if (codingPath_.size() >= maximumPathLength)
    throw DecodingError::dataCorrupted({codingPath_, "CSV does not support nested values", nullptr});
  codingPath_.push_back(key);
}

/// Takes the key off the coding path again, however the decode ends.
struct PathExit {
  CodingPath& path;
  ~PathExit() { path.pop_back(); }
};

template <typename T>
T RowDecoder::decode(const CodingKey& key) {
  const std::string text = field(key);
  enter(key);
  PathExit exit{codingPath_};
  return convertedOrThrow<T>(text);
}

void RowDecoder::withDecoder(const CodingKey& key, std::string_view type, FunctionRef<void(Decoder&)> decode) {
  const std::string text = field(key);
  enter(key);
  PathExit exit{codingPath_};
  if (text.empty()) {
    throw DecodingError::valueNotFound(
        type, {codingPath_, "Expected " + std::string(type) + " value but found null instead.", nullptr});
  }
  decode(*this);
}

template <typename T>
T RowDecoder::decode() {
  const std::string text = currentField();
  if (isNil(text))
    throw DecodingError::valueNotFound<T>(
        {codingPath_, "Expected " + std::string(typeName<T>()) + " but found null value instead.", nullptr});
  return convertedOrThrow<T>(text);
}

void RowDecoder::withDecoder(std::string_view type, FunctionRef<void(Decoder&)> decode) {
  const std::string text = currentField();
  const std::string name(type);
  if (isNil(text))
    throw DecodingError::valueNotFound(type, {codingPath_, "Expected " + name + " but found null value instead.", nullptr});
  if (text.empty())
    throw DecodingError::valueNotFound(type, {codingPath_, "Expected " + name + " value but found null instead.", nullptr});
  decode(*this);
}

void RowDecoder::refuseNesting(std::string_view text) const {
  throw DecodingError::dataCorrupted({codingPath_, std::string(text), nullptr});
}

template <typename T>
T RowDecoder::convertedOrThrow(const std::string& text) {
  std::optional<T> value = converted<T>(text);
  if (!value)
    throw DecodingError::valueNotFound<T>(
        {codingPath_, "Expected " + std::string(typeName<T>()) + " value but found null instead.", nullptr});
  return std::move(*value);
}

namespace {

template <typename T>
[[noreturn]] void throwTypeMismatch(const CodingPath& path, const std::string& text) {
  throw DecodingError::typeMismatch<T>(
      {path, "Expected to decode " + std::string(typeName<T>()) + " but found " + text + " instead.", nullptr});
}

[[noreturn]] void throwDataCorrupted(const CodingPath& path, const char* text) {
  throw DecodingError::dataCorrupted({path, text, nullptr});
}

}  // namespace

template <typename T>
std::optional<T> RowDecoder::converted(const std::string& text) {
  if (text.empty()) return std::nullopt;
  using Options = CSVRowDecoder;
  if constexpr (std::same_as<T, std::string>) {
    return text;
  } else if constexpr (std::same_as<T, bool>) {
    return std::visit(Overloaded{[&](const Options::BoolDecoding::Default&) -> bool {
                                   if (text == "true") return true;
                                   if (text == "false") return false;
                                   throwTypeMismatch<bool>(codingPath_, text);
                                 },
                                 [&](const Options::BoolDecoding::Custom& custom) { return custom.function(text); }},
                      options_.boolDecodingStrategy);
  } else if constexpr (std::integral<T>) {
    if (std::optional<T> value = parseInteger<T>(text)) return value;
    throwTypeMismatch<T>(codingPath_, text);
  } else if constexpr (std::same_as<T, double> || std::same_as<T, float>) {
    std::optional<T> value;
    if constexpr (std::same_as<T, double>)
      value = parseDouble(text);
    else
      value = parseFloat(text);
    if (!value) throwTypeMismatch<T>(codingPath_, text);
    return value;
  } else if constexpr (std::same_as<T, platform::Date>) {
    auto since1970 = [&](double divisor) {
      const std::optional<double> value = parseDouble(text);
      if (!value) throwTypeMismatch<double>(codingPath_, text);
      return platform::Date::fromTimeIntervalSince1970(*value / divisor);
    };
    return std::visit(
        Overloaded{
            [&](const Options::DateDecoding::DeferredToDate&) {
              return platform::coding::Coding<platform::Date>::decode(*this);
            },
            [&](const Options::DateDecoding::SecondsSince1970&) { return since1970(1.0); },
            [&](const Options::DateDecoding::MillisecondsSince1970&) { return since1970(1000.0); },
            [&](const Options::DateDecoding::ISO8601&) {
              const std::optional<platform::Date> date = iso8601Format().parse(text);
              if (!date) throwDataCorrupted(codingPath_, "Expected date string to be ISO8601-formatted.");
              return *date;
            },
            [&](const Options::DateDecoding::Formatted& formatted) {
              const std::optional<platform::Date> date = formatted.formatter->date(text);
              if (!date) throwDataCorrupted(codingPath_, "Date string does not match format expected by formatter.");
              return *date;
            },
            [&](const Options::DateDecoding::Custom& custom) { return custom.function(text); }},
        options_.dateDecodingStrategy);
  } else if constexpr (std::same_as<T, platform::Data>) {
    return std::visit(
        Overloaded{[&](const Options::DataDecoding::Base64&) {
                     std::optional<platform::Data> data =
                         platform::base64Decoded(text, platform::Base64Decoding::strict);
                     if (!data) throwDataCorrupted(codingPath_, "Encountered Data is not valid Base64.");
                     return std::move(*data);
                   },
                   [&](const Options::DataDecoding::Custom& custom) { return custom.function(text); }},
        options_.dataDecodingStrategy);
  } else if constexpr (std::same_as<T, platform::URL>) {
    std::optional<platform::URL> url = platform::URL::parse(text);
    if (!url) throwDataCorrupted(codingPath_, "Invalid URL string.");
    return url;
  } else {
    static_assert(std::same_as<T, platform::Decimal>);
    const std::optional<platform::Decimal> decimal = platform::Decimal::parse(text);
    if (!decimal) throwDataCorrupted(codingPath_, "Invalid Decimal string.");
    return decimal;
  }
}

// The containers hand every read to the decoder; the decoder is its own single-value container.

class RowDecoder::KeyedContainer final : public platform::coding::KeyedDecodingContainerBase {
 public:
  explicit KeyedContainer(RowDecoder& decoder) : decoder_(&decoder) {}

  const CodingPath& codingPath() const override { return decoder_->codingPath(); }
  void allKeys(platform::coding::KeyCollector& collector) override {
    if (const auto& header = decoder_->reader_.headerRow())
      for (const std::string& name : *header) collector.offer(std::string_view(name));
  }
  bool contains(const CodingKey& key) override { return decoder_->contains(key); }
  bool decodeNil(const CodingKey& key) override { return decoder_->decodeNil(key); }
  bool decodeBool(const CodingKey& key) override { return decoder_->decode<bool>(key); }
  std::string decodeString(const CodingKey& key) override { return decoder_->decode<std::string>(key); }
  double decodeDouble(const CodingKey& key) override { return decoder_->decode<double>(key); }
  float decodeFloat(const CodingKey& key) override { return decoder_->decode<float>(key); }
  std::int8_t decodeInt8(const CodingKey& key) override { return decoder_->decode<std::int8_t>(key); }
  std::int16_t decodeInt16(const CodingKey& key) override { return decoder_->decode<std::int16_t>(key); }
  std::int32_t decodeInt32(const CodingKey& key) override { return decoder_->decode<std::int32_t>(key); }
  std::int64_t decodeInt64(const CodingKey& key) override { return decoder_->decode<std::int64_t>(key); }
  std::uint8_t decodeUInt8(const CodingKey& key) override { return decoder_->decode<std::uint8_t>(key); }
  std::uint16_t decodeUInt16(const CodingKey& key) override { return decoder_->decode<std::uint16_t>(key); }
  std::uint32_t decodeUInt32(const CodingKey& key) override { return decoder_->decode<std::uint32_t>(key); }
  std::uint64_t decodeUInt64(const CodingKey& key) override { return decoder_->decode<std::uint64_t>(key); }
  platform::Date decodeDate(const CodingKey& key) override { return decoder_->decode<platform::Date>(key); }
  platform::Data decodeData(const CodingKey& key) override { return decoder_->decode<platform::Data>(key); }
  platform::Decimal decodeDecimal(const CodingKey& key) override { return decoder_->decode<platform::Decimal>(key); }
  platform::URL decodeURL(const CodingKey& key) override { return decoder_->decode<platform::URL>(key); }
  void withDecoder(const CodingKey& key, FunctionRef<void(Decoder&)> decode) override {
    decoder_->withDecoder(key, "", decode);
  }
  void withDecoderOfType(const CodingKey& key, std::string_view type, FunctionRef<void(Decoder&)> decode) override {
    decoder_->withDecoder(key, type, decode);
  }
  platform::coding::KeyedDecodingBox nestedContainer(const CodingKey&) override {
    decoder_->refuseNesting("nestedContainer(...) CSV does not support nested values");
  }
  platform::coding::UnkeyedDecodingBox nestedUnkeyedContainer(const CodingKey&) override {
    decoder_->refuseNesting("nestedUnkeyedContainer(...) CSV does not support nested values");
  }
  std::unique_ptr<Decoder> superDecoder() override { decoder_->refuseNesting("CSV does not support nested values"); }
  std::unique_ptr<Decoder> superDecoder(const CodingKey&) override {
    decoder_->refuseNesting("CSV does not support nested values");
  }

 private:
  RowDecoder* decoder_;
};

class RowDecoder::SingleValueContainer final : public platform::coding::SingleValueDecodingContainerBase {
 public:
  explicit SingleValueContainer(RowDecoder& decoder) : decoder_(&decoder) {}

  const CodingPath& codingPath() const override { return decoder_->codingPath(); }
  bool decodeNil() override { return decoder_->decodeNil(); }
  bool decodeBool() override { return decoder_->decode<bool>(); }
  std::string decodeString() override { return decoder_->decode<std::string>(); }
  double decodeDouble() override { return decoder_->decode<double>(); }
  float decodeFloat() override { return decoder_->decode<float>(); }
  std::int8_t decodeInt8() override { return decoder_->decode<std::int8_t>(); }
  std::int16_t decodeInt16() override { return decoder_->decode<std::int16_t>(); }
  std::int32_t decodeInt32() override { return decoder_->decode<std::int32_t>(); }
  std::int64_t decodeInt64() override { return decoder_->decode<std::int64_t>(); }
  std::uint8_t decodeUInt8() override { return decoder_->decode<std::uint8_t>(); }
  std::uint16_t decodeUInt16() override { return decoder_->decode<std::uint16_t>(); }
  std::uint32_t decodeUInt32() override { return decoder_->decode<std::uint32_t>(); }
  std::uint64_t decodeUInt64() override { return decoder_->decode<std::uint64_t>(); }
  platform::Date decodeDate() override { return decoder_->decode<platform::Date>(); }
  platform::Data decodeData() override { return decoder_->decode<platform::Data>(); }
  platform::Decimal decodeDecimal() override { return decoder_->decode<platform::Decimal>(); }
  platform::URL decodeURL() override { return decoder_->decode<platform::URL>(); }
  void withDecoder(FunctionRef<void(Decoder&)> decode) override { decoder_->withDecoder("", decode); }
  void withDecoderOfType(std::string_view type, FunctionRef<void(Decoder&)> decode) override {
    decoder_->withDecoder(type, decode);
  }

 private:
  RowDecoder* decoder_;
};

platform::coding::KeyedDecodingBox RowDecoder::makeKeyedContainer() {
  return platform::coding::KeyedDecodingBox::make<KeyedContainer>(*this);
}

platform::coding::UnkeyedDecodingBox RowDecoder::makeUnkeyedContainer() {
  throw DecodingError::valueNotFound(
      "UnkeyedDecodingContainer",
      {codingPath_, "Cannot get unkeyed decoding container -- found null value instead.", nullptr});
}

platform::coding::SingleValueDecodingBox RowDecoder::makeSingleValueContainer() {
  return platform::coding::SingleValueDecodingBox::make<SingleValueContainer>(*this);
}

}  // namespace CSV
