#include "TimeSeries/Query.hpp"

#include "JSONReading.hpp"

namespace TimeSeries {

nlohmann::ordered_json Query::toJSON(const JSONEncoder& encoder) const {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  json["query"] = query;
  if (type) json["type"] = rawValue(*type);
  if (params) {
    json["params"] = nlohmann::ordered_json::object();
    for (const auto& [name, value] : *params) json["params"][name] = value;
  }
  if (dialect) json["dialect"] = dialect->toJSON();
  if (now) json["now"] = encoder.encodeDate(*now, {platform::coding::CodingKey(CodingKeys::now)});
  return json;
}

Query Query::fromJSON(const nlohmann::ordered_json& json) {
  using namespace json_reading;
  const CodingPath root;
  const Json& fields = object(json, root);
  auto at = [](CodingKeys key) { return CodingPath{CodingKey(key)}; };
  Query query;
  query.query = string(requiredMember(fields, CodingKey(CodingKeys::query), "String", root), at(CodingKeys::query));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::type)))
    query.type = enumeration<ModelType>(*value, at(CodingKeys::type), "ModelType");
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::params))) {
    const CodingPath path = at(CodingKeys::params);
    std::map<std::string, std::string> params;
    for (const auto& [name, parameter] : object(*value, path).items())
      params.emplace(name, string(parameter, path.appending(objectKey(name))));
    query.params = std::move(params);
  }
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::dialect)))
    query.dialect = Dialect::fromJSON(*value, at(CodingKeys::dialect));
  if (const Json* value = optionalMember(fields, CodingKey(CodingKeys::now)))
    query.now = date(*value, at(CodingKeys::now));
  return query;
}

}  // namespace TimeSeries
