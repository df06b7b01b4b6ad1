#include "TimeSeries/Query.hpp"

#include "JSONReading.hpp"

namespace TimeSeries {
namespace {

// A parameter's name as a key: any text, no integer.
struct ParameterKey {
  std::string name;
  std::string_view stringValue() const { return name; }
  std::optional<std::int64_t> intValue() const { return std::nullopt; }
  static std::optional<ParameterKey> fromString(std::string_view text) { return ParameterKey{std::string(text)}; }
  static std::optional<ParameterKey> fromInt(std::int64_t) { return std::nullopt; }
};

// The parameters as one keyed value, a text under each name.
struct CodedParameters {
  std::map<std::string, std::string> values;

  void encode(platform::coding::Encoder& encoder) const {
    auto container = encoder.container<ParameterKey>();
    for (const auto& [name, value] : values) container.encode(value, ParameterKey{name});
  }
  static CodedParameters decode(platform::coding::Decoder& decoder) {
    auto container = decoder.container<ParameterKey>();
    CodedParameters read;
    for (const ParameterKey& key : container.allKeys()) read.values.emplace(key.name, container.decode<std::string>(key));
    return read;
  }
};

}  // namespace
}  // namespace TimeSeries

// Coders that name the type in their messages call it what it is.
template <>
struct platform::coding::TypeName<TimeSeries::CodedParameters> {
  static std::string name() { return "Dictionary<String, String>"; }
};

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

void Query::encode(platform::coding::Encoder& encoder) const {
  auto container = encoder.container<CodingKeys>();
  container.encode(query, CodingKeys::query);
  container.encodeIfPresent(type, CodingKeys::type);
  container.encodeIfPresent(params ? std::optional(CodedParameters{*params}) : std::nullopt, CodingKeys::params);
  container.encodeIfPresent(dialect, CodingKeys::dialect);
  container.encodeIfPresent(now, CodingKeys::now);
}

Query Query::decode(platform::coding::Decoder& decoder) {
  auto container = decoder.container<CodingKeys>();
  Query read(container.decode<std::string>(CodingKeys::query));
  read.type = container.decodeIfPresent<ModelType>(CodingKeys::type);
  if (std::optional<CodedParameters> params = container.decodeIfPresent<CodedParameters>(CodingKeys::params))
    read.params = std::move(params->values);
  read.dialect = container.decodeIfPresent<Dialect>(CodingKeys::dialect);
  read.now = container.decodeIfPresent<platform::Date>(CodingKeys::now);
  return read;
}

}  // namespace TimeSeries
