#include "Defaults/AnySerializable.hpp"

#include <cstring>

namespace Defaults {

bool operator==(const AnySerializable& a, const AnySerializable& b) {
  // Objects of one kind compare by value; no value has no kind to compare by.
  return a.value_ && b.value_ && *a.value_ == *b.value_;
}

}  // namespace Defaults

namespace {

std::size_t combine(std::size_t seed, std::size_t value) { return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2)); }

std::size_t hashObject(const Defaults::Object& object) {
  using Kind = Defaults::Object::Kind;
  std::size_t seed = static_cast<std::size_t>(object.kind());
  switch (object.kind()) {
    case Kind::boolean: return combine(seed, *object.boolean());
    case Kind::integer: return combine(seed, std::hash<std::int64_t>{}(*object.integer()));
    case Kind::unsignedInteger: return combine(seed, std::hash<std::uint64_t>{}(*object.unsignedInteger()));
    case Kind::real: return combine(seed, std::hash<double>{}(*object.real()));
    case Kind::string: return combine(seed, std::hash<std::string>{}(*object.string()));
    case Kind::data: return combine(seed, std::hash<std::string_view>{}(object.data()->view()));
    case Kind::date: return combine(seed, std::hash<double>{}(object.date()->timeIntervalSinceReferenceDate));
    case Kind::array:
      seed = combine(seed, object.array()->size());
      for (const auto& element : *object.array()) seed = combine(seed, hashObject(element));
      return seed;
    case Kind::dictionary:
      for (const auto& [key, element] : *object.dictionary())
        seed = combine(seed, combine(std::hash<std::string>{}(key), hashObject(element)));
      return seed;
  }
  return seed;
}

}  // namespace

std::size_t std::hash<Defaults::AnySerializable>::operator()(const Defaults::AnySerializable& value) const noexcept {
  return value.value() ? hashObject(*value.value()) : 0;
}
