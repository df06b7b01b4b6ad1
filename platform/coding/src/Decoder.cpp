// The platform values decode by their own coding unless a coder knows better.

#include "platform/coding/Decoder.hpp"

#include "platform/coding/Codable.hpp"

namespace platform::coding {

platform::Date KeyedDecodingContainerBase::decodeDate(const CodingKey& key) {
  return detail::decodeOwnCoding<platform::Date>(*this, key);
}
platform::Data KeyedDecodingContainerBase::decodeData(const CodingKey& key) {
  return detail::decodeOwnCoding<platform::Data>(*this, key);
}
platform::Decimal KeyedDecodingContainerBase::decodeDecimal(const CodingKey& key) {
  return detail::decodeOwnCoding<platform::Decimal>(*this, key);
}
platform::URL KeyedDecodingContainerBase::decodeURL(const CodingKey& key) {
  return detail::decodeOwnCoding<platform::URL>(*this, key);
}

platform::Date ValueDecodingContainerBase::decodeDate() { return detail::decodeOwnCoding<platform::Date>(*this); }
platform::Data ValueDecodingContainerBase::decodeData() { return detail::decodeOwnCoding<platform::Data>(*this); }
platform::Decimal ValueDecodingContainerBase::decodeDecimal() {
  return detail::decodeOwnCoding<platform::Decimal>(*this);
}
platform::URL ValueDecodingContainerBase::decodeURL() { return detail::decodeOwnCoding<platform::URL>(*this); }

}  // namespace platform::coding
