#include "platform/coding/Codable.hpp"

namespace platform::coding {

platform::Date Coding<platform::Date>::decode(Decoder& decoder) {
  return platform::Date{decoder.singleValueContainer().decode<double>()};
}
void Coding<platform::Date>::encode(const platform::Date& value, Encoder& encoder) {
  encoder.singleValueContainer().encode(value.timeIntervalSinceReferenceDate);
}

platform::Data Coding<platform::Data>::decode(Decoder& decoder) {
  UnkeyedDecodingContainer container = decoder.unkeyedContainer();
  platform::Data data;
  while (!container.isAtEnd()) data.bytes().push_back(container.decode<std::uint8_t>());
  return data;
}
void Coding<platform::Data>::encode(const platform::Data& value, Encoder& encoder) {
  UnkeyedEncodingContainer container = encoder.unkeyedContainer();
  for (const std::uint8_t byte : value) container.encode(byte);
}

platform::Decimal Coding<platform::Decimal>::decode(Decoder& decoder) {
  SingleValueDecodingContainer container = decoder.singleValueContainer();
  const std::string text = container.decode<std::string>();
  if (std::optional<platform::Decimal> value = platform::Decimal::parse(text)) return *value;
  throw DecodingError::dataCorrupted({container.codingPath(), "Invalid Decimal string.", nullptr});
}
void Coding<platform::Decimal>::encode(const platform::Decimal& value, Encoder& encoder) {
  encoder.singleValueContainer().encode(value.description());
}

platform::URL Coding<platform::URL>::decode(Decoder& decoder) {
  SingleValueDecodingContainer container = decoder.singleValueContainer();
  const std::string text = container.decode<std::string>();
  if (std::optional<platform::URL> value = platform::URL::parse(text)) return *value;
  throw DecodingError::dataCorrupted({container.codingPath(), "Invalid URL string.", nullptr});
}
void Coding<platform::URL>::encode(const platform::URL& value, Encoder& encoder) {
  encoder.singleValueContainer().encode(value.absoluteString());
}

}  // namespace platform::coding
