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

}  // namespace TimeSeries
