// The platform values encode by their own coding unless a coder knows better.

#include "platform/coding/Encoder.hpp"

#include "platform/coding/Codable.hpp"

namespace platform::coding {

void KeyedEncodingContainerBase::encodeDate(const CodingKey& key, const platform::Date& value) {
  detail::encodeOwnCoding(*this, value, key);
}
void KeyedEncodingContainerBase::encodeData(const CodingKey& key, const platform::Data& value) {
  detail::encodeOwnCoding(*this, value, key);
}
void KeyedEncodingContainerBase::encodeDecimal(const CodingKey& key, const platform::Decimal& value) {
  detail::encodeOwnCoding(*this, value, key);
}
void KeyedEncodingContainerBase::encodeURL(const CodingKey& key, const platform::URL& value) {
  detail::encodeOwnCoding(*this, value, key);
}
void KeyedEncodingContainerBase::encodeIfPresent(const CodingKey& key, const PresentValue* value) {
  if (value) value->encode(*this, key);
}

void ValueEncodingContainerBase::encodeDate(const platform::Date& value) { detail::encodeOwnCoding(*this, value); }
void ValueEncodingContainerBase::encodeData(const platform::Data& value) { detail::encodeOwnCoding(*this, value); }
void ValueEncodingContainerBase::encodeDecimal(const platform::Decimal& value) {
  detail::encodeOwnCoding(*this, value);
}
void ValueEncodingContainerBase::encodeURL(const platform::URL& value) { detail::encodeOwnCoding(*this, value); }

void UnkeyedEncodingContainerBase::encodeContents(FunctionRef<void(UnkeyedEncodingContainerBase&)> encodeElements) {
  encodeElements(*this);
}

}  // namespace platform::coding
