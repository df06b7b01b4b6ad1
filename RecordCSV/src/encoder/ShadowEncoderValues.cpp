// The one place where a value becomes the text of a field, by the encoder's strategies.

#include <charconv>
#include <cmath>
#include <string>

#include "RecordCSV/CodingKeys.hpp"
#include "encoder/ShadowEncoder.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/core/Base64.hpp"
#include "platform/core/FloatingPointText.hpp"
#include "platform/text/DateFormatter.hpp"

namespace RecordCSV {
namespace {

using Failure = CSVEncoder::Error;

[[noreturn, gnu::cold, gnu::noinline]] void throwRowLevel(const EncodingSite& site) {
  const platform::coding::CodingPath path = site.codingPath();
  throw CSVEncoderError(Failure::invalidPath, "A field is being encoded at row level.",
                         "Get a nested container representing a CSV row.",
                         platform::UserInfo().add("Coding path", path));
}

[[noreturn, gnu::cold, gnu::noinline]] void throwFileLevel(const EncodingSite& site) {
  const platform::coding::CodingPath path = site.codingPath();
  throw CSVEncoderError(
      Failure::invalidPath, "A field is being encoded at file level.",
      "Get a nested container representing the CSV file and then another one representing a CSV row.",
      platform::UserInfo().add("Coding path", path));
}

struct FieldPosition {
  std::int64_t row;
  std::int64_t field;
};

/// The row and field a value at the site is written to.
FieldPosition position(const EncodingSite& site) {
  const CSVWriter& writer = site.sink.writer();
  switch (site.focus.kind) {
    case EncodingFocus::Kind::field: return {site.focus.row, site.focus.field};
    case EncodingFocus::Kind::row:
      if (writer.expectedFields() != 1) throwRowLevel(site);
      return {site.focus.row, 0};
    case EncodingFocus::Kind::file:
      // A field written into a row that is still open counts as encoded too.
      if (writer.rowIndex() + site.sink.bufferedRowCount() != 0 || writer.fieldIndex() != 0 ||
          writer.expectedFields() != 1)
        throwFileLevel(site);
      return {0, 0};
  }
  return {0, 0};
}

void encodeField(const EncodingSite& site, std::string_view text) {
  const FieldPosition where = position(site);
  site.sink.fieldValue(text, where.row, where.field);
}

template <typename Integer>
void encodeInteger(const EncodingSite& site, Integer value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  encodeField(site, std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

template <typename Float>
void encodeFloating(const EncodingSite& site, Float value) {
  if (std::isfinite(value)) return encodeField(site, ShadowEncoderValues::text(value));
  // The position is settled first, so that a misplaced value reports where it is.
  const FieldPosition where = position(site);
  const Strategy::NonConformingFloat& strategy = site.sink.configuration().nonConformingFloatStrategy;
  const auto* convert = std::get_if<Strategy::NonConformingFloat::Convert>(&strategy.value);
  if (!convert)
    throw platform::coding::EncodingError::invalidValue(
        value, {site.codingPath(), "The value is a non-conformant floating-point.", nullptr});
  const std::string& text = std::isnan(value) ? convert->nan
                            : value > 0       ? convert->positiveInfinity
                                              : convert->negativeInfinity;
  site.sink.fieldValue(text, where.row, where.field);
}

}  // namespace

platform::coding::CodingPath EncodingSite::codingPath() const {
  platform::coding::CodingPath whole = path;
  if (key) whole.push_back(*key);
  for (int i = 0; i < indexCount; ++i) whole.push_back(IndexKey(indexes[static_cast<std::size_t>(i)]));
  return whole;
}

namespace ShadowEncoderValues {

std::string text(double value) { return platform::floatingPointText(value); }
std::string text(float value) { return platform::floatingPointText(value); }

void withEncoder(const EncodingSite& site, platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode) {
  ShadowEncoder encoder(site.sink, site.codingPath());
  encode(encoder);
}

void encodeNil(const EncodingSite& site) {
  const Strategy::NilEncoding& strategy = site.sink.configuration().nilStrategy;
  if (strategy.kind() == Strategy::NilEncoding::Kind::custom)
    return withEncoder(site, [&strategy](platform::coding::Encoder& encoder) { strategy.function()(encoder); });
  encodeField(site, {});
}

void encodeBool(const EncodingSite& site, bool value) {
  const Strategy::BoolEncoding& strategy = site.sink.configuration().boolStrategy;
  switch (strategy.kind()) {
    case Strategy::BoolEncoding::Kind::deferredToString: return encodeField(site, value ? "true" : "false");
    case Strategy::BoolEncoding::Kind::numeric: return encodeField(site, value ? "1" : "0");
    case Strategy::BoolEncoding::Kind::custom:
      return withEncoder(site,
                         [&strategy, value](platform::coding::Encoder& encoder) { strategy.function()(value, encoder); });
  }
}

void encodeString(const EncodingSite& site, std::string_view value) { encodeField(site, value); }
void encodeDouble(const EncodingSite& site, double value) { encodeFloating(site, value); }
void encodeFloat(const EncodingSite& site, float value) { encodeFloating(site, value); }
void encodeInt64(const EncodingSite& site, std::int64_t value) { encodeInteger(site, value); }
void encodeUInt64(const EncodingSite& site, std::uint64_t value) { encodeInteger(site, value); }

void encodeDate(const EncodingSite& site, const platform::Date& value) {
  const Strategy::DateEncoding& strategy = site.sink.configuration().dateStrategy;
  using Kind = Strategy::DateEncoding::Kind;
  switch (strategy.kind()) {
    case Kind::deferredToDate:
      return withEncoder(site, [&value](platform::coding::Encoder& encoder) {
        platform::coding::Coding<platform::Date>::encode(value, encoder);
      });
    case Kind::secondsSince1970: return encodeDouble(site, value.timeIntervalSince1970());
    case Kind::millisecondsSince1970: return encodeDouble(site, value.timeIntervalSince1970() * 1000.0);
    case Kind::iso8601: return encodeField(site, platform::iso8601Formatter().string(value));
    case Kind::formatted: return encodeField(site, strategy.formatter() ? strategy.formatter()->string(value) : "");
    case Kind::custom:
      return withEncoder(site,
                         [&strategy, &value](platform::coding::Encoder& encoder) { strategy.function()(value, encoder); });
  }
}

void encodeData(const EncodingSite& site, const platform::Data& value) {
  const Strategy::DataEncoding& strategy = site.sink.configuration().dataStrategy;
  using Kind = Strategy::DataEncoding::Kind;
  switch (strategy.kind()) {
    case Kind::base64: return encodeField(site, platform::base64Encoded(value));
    case Kind::deferredToData:
      return withEncoder(site, [&value](platform::coding::Encoder& encoder) {
        platform::coding::Coding<platform::Data>::encode(value, encoder);
      });
    case Kind::custom:
      return withEncoder(site,
                         [&strategy, &value](platform::coding::Encoder& encoder) { strategy.function()(value, encoder); });
  }
}

void encodeDecimal(const EncodingSite& site, const platform::Decimal& value) {
  const Strategy::DecimalEncoding& strategy = site.sink.configuration().decimalStrategy;
  if (strategy.kind() == Strategy::DecimalEncoding::Kind::custom)
    return withEncoder(site,
                       [&strategy, &value](platform::coding::Encoder& encoder) { strategy.function()(value, encoder); });
  encodeField(site, value.description(strategy.localeValue()));
}

void encodeURL(const EncodingSite& site, const platform::URL& value) { encodeField(site, value.path()); }

}  // namespace ShadowEncoderValues
}  // namespace RecordCSV
