#include "TimeSeries/Dialect.hpp"

#include "JSONReading.hpp"

namespace TimeSeries {

nlohmann::ordered_json Dialect::toJSON() const {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  if (header) json["header"] = *header;
  if (delimiter) json["delimiter"] = *delimiter;
  if (annotations) {
    json["annotations"] = nlohmann::ordered_json::array();
    for (Annotations annotation : *annotations) json["annotations"].push_back(rawValue(annotation));
  }
  if (commentPrefix) json["commentPrefix"] = *commentPrefix;
  if (dateTimeFormat) json["dateTimeFormat"] = rawValue(*dateTimeFormat);
  return json;
}

Dialect Dialect::fromJSON(const nlohmann::ordered_json& json, const platform::coding::CodingPath& codingPath) {
  using namespace json_reading;
  const Json& fields = object(json, codingPath);
  Dialect dialect;
  auto at = [&](CodingKeys key) { return codingPath.appending(CodingKey(key)); };
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::header)))
    dialect.header = boolean(*value, at(CodingKeys::header));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::delimiter)))
    dialect.delimiter = string(*value, at(CodingKeys::delimiter));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::annotations))) {
    const CodingPath path = at(CodingKeys::annotations);
    std::vector<Annotations> read;
    std::int64_t index = 0;
    for (const Json& element : array(*value, path)) {
      read.push_back(enumeration<Annotations>(element, path.appending(indexKey(index)), "Annotations"));
      ++index;
    }
    dialect.annotations = std::move(read);
  }
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::commentPrefix)))
    dialect.commentPrefix = string(*value, at(CodingKeys::commentPrefix));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::dateTimeFormat)))
    dialect.dateTimeFormat = enumeration<DateTimeFormat>(*value, at(CodingKeys::dateTimeFormat), "DateTimeFormat");
  return dialect;
}

void Dialect::encode(platform::coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encodeIfPresent(header, CodingKeys::header);
  container.encodeIfPresent(delimiter, CodingKeys::delimiter);
  container.encodeIfPresent(annotations, CodingKeys::annotations);
  container.encodeIfPresent(commentPrefix, CodingKeys::commentPrefix);
  container.encodeIfPresent(dateTimeFormat, CodingKeys::dateTimeFormat);
}

Dialect Dialect::decode(platform::coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  Dialect read;
  read.header = container.decodeIfPresent<bool>(CodingKeys::header);
  read.delimiter = container.decodeIfPresent<std::string>(CodingKeys::delimiter);
  read.annotations = container.decodeIfPresent<std::vector<Annotations>>(CodingKeys::annotations);
  read.commentPrefix = container.decodeIfPresent<std::string>(CodingKeys::commentPrefix);
  read.dateTimeFormat = container.decodeIfPresent<DateTimeFormat>(CodingKeys::dateTimeFormat);
  return read;
}

}  // namespace TimeSeries
