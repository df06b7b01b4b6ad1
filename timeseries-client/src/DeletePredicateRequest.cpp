#include "TimeSeries/DeletePredicateRequest.hpp"

#include "JSONReading.hpp"

namespace TimeSeries {

nlohmann::ordered_json DeletePredicateRequest::toJSON(const JSONEncoder& encoder) const {
  using platform::coding::CodingKey;
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["start"] = encoder.encodeDate(start, {CodingKey(CodingKeys::start)});
  json["stop"] = encoder.encodeDate(stop, {CodingKey(CodingKeys::stop)});
  if (predicate) json["predicate"] = *predicate;
  return json;
}

DeletePredicateRequest DeletePredicateRequest::fromJSON(const nlohmann::ordered_json& json) {
  using namespace json_reading;
  const CodingPath root;
  const Json& fields = object(json, root);
  auto at = [](CodingKeys key) { return CodingPath{CodingKey(key)}; };
  DeletePredicateRequest request;
  request.start = date(requiredMember(fields, CodingKey(CodingKeys::start), "String", root), at(CodingKeys::start));
  request.stop = date(requiredMember(fields, CodingKey(CodingKeys::stop), "String", root), at(CodingKeys::stop));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::predicate)))
    request.predicate = string(*value, at(CodingKeys::predicate));
  return request;
}

void DeletePredicateRequest::encode(platform::coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(start, CodingKeys::start);
  container.encode(stop, CodingKeys::stop);
  container.encodeIfPresent(predicate, CodingKeys::predicate);
}

DeletePredicateRequest DeletePredicateRequest::decode(platform::coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  DeletePredicateRequest read;
  read.start = container.decode<platform::Date>(CodingKeys::start);
  read.stop = container.decode<platform::Date>(CodingKeys::stop);
  read.predicate = container.decodeIfPresent<std::string>(CodingKeys::predicate);
  return read;
}

}  // namespace TimeSeries
