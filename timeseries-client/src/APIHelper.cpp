#include "TimeSeries/APIHelper.hpp"

#include "platform/core/Error.hpp"

namespace TimeSeries {
namespace {

std::string joined(const APIHelper::List& list) {
  std::string text;
  bool first = true;
  for (const auto& element : list) {
    if (!element) continue;
    if (!first) text += ',';
    text += APIHelper::text(*element);
    first = false;
  }
  return text;
}

}  // namespace

std::string APIHelper::text(const Scalar& value) {
  return std::visit([](const auto& scalar) { return platform::describe(scalar); }, value);
}

std::optional<APIHelper::Values> APIHelper::nonNilValues(const OptionalValues& values) {
  Values present;
  for (const auto& [name, value] : values)
    if (value) present.emplace_back(name, *value);
  if (present.empty()) return std::nullopt;
  return present;
}

APIHelper::Texts APIHelper::headerValues(const OptionalValues& values) {
  Texts texts;
  for (const auto& [name, value] : values) {
    if (!value) continue;
    if (const List* list = std::get_if<List>(&*value))
      texts.emplace_back(name, joined(*list));
    else
      texts.emplace_back(name, text(std::get<Scalar>(*value)));
  }
  return texts;
}

std::optional<APIHelper::Values> APIHelper::boolsToText(const std::optional<Values>& values) {
  if (!values) return std::nullopt;
  Values converted = *values;
  for (auto& [name, value] : converted)
    if (Scalar* scalar = std::get_if<Scalar>(&value))
      if (const bool* flag = std::get_if<bool>(scalar)) *scalar = std::string(*flag ? "true" : "false");
  return converted;
}

APIHelper::Value APIHelper::pathItemValue(const Value& value) {
  if (const List* list = std::get_if<List>(&value)) return Scalar(joined(*list));
  return value;
}

std::optional<std::vector<platform::URLQueryItem>> APIHelper::queryItemsFromValues(const OptionalValues& values) {
  std::vector<platform::URLQueryItem> items;
  for (const auto& [name, value] : values) {
    if (!value) continue;
    if (const List* list = std::get_if<List>(&*value)) {
      for (const auto& element : *list)
        if (element) items.push_back({name, text(*element)});
    } else {
      items.push_back({name, text(std::get<Scalar>(*value))});
    }
  }
  if (items.empty()) return std::nullopt;
  return items;
}

}  // namespace TimeSeries
