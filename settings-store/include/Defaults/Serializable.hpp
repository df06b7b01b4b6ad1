#pragma once
// Which values the settings store can hold, and how each becomes a stored
// property-list object and back. A storable type is either stored as it is
// (natively) or names a bridge: a field-less converter between the value and
// a stored form. No conversion throws; a failure gives nothing.
//
// A type opts in by specializing DefaultsSerializable<T> with `Bridge` and
// `isStoredNatively`; the module provides the specializations below. A type that
// names no bridge gets one by default when it is raw-representable or archives
// securely (see `DefaultBridge`); a specialization of its own always wins.

#include <concepts>
#include <cstdint>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Defaults/JSONCoding.hpp"
#include "Defaults/ObjectCast.hpp"
#include "Defaults/TextConvertible.hpp"
#include "platform/defaults/Color.hpp"
#include "platform/defaults/KeyedArchive.hpp"
#include "platform/io/FileURL.hpp"
#include "platform/system/UUID.hpp"

namespace Defaults {

template <typename T>
struct DefaultsSerializable;

/// A type the store can hold.
template <typename T>
concept Serializable = requires {
  typename DefaultsSerializable<T>::Bridge;
  { DefaultsSerializable<T>::isStoredNatively } -> std::convertible_to<bool>;
};

template <Serializable T>
using BridgeOf = typename DefaultsSerializable<T>::Bridge;

/// A converter between a value and its stored form; absent in gives absent out.
template <typename B>
concept DefaultsBridge = requires(const B& bridge, const std::optional<typename B::Value>& value,
                                  const std::optional<typename B::Serializable>& stored) {
  { bridge.serialize(value) } -> std::same_as<std::optional<typename B::Serializable>>;
  { bridge.deserialize(stored) } -> std::same_as<std::optional<typename B::Value>>;
};

/// Types with an empty state of their own (optionals, the "any" wrapper): an empty value is not stored.
template <typename T>
struct OptionalTraits {
  static constexpr bool isOptional = false;
};
template <typename W>
struct OptionalTraits<std::optional<W>> {
  static constexpr bool isOptional = true;
  static bool isNil(const std::optional<W>& value) { return !value.has_value(); }
};
template <typename T>
concept DefaultsOptionalType = OptionalTraits<T>::isOptional;

/// Raw-representable types (enumerations with a raw value) specialize this.
template <typename T>
struct RawRepresentation;  // using RawValue; static RawValue rawValue(const T&); static std::optional<T> fromRaw(const RawValue&);

template <typename T>
concept RawRepresentable = requires(const T& value, const typename RawRepresentation<T>::RawValue& raw) {
  { RawRepresentation<T>::rawValue(value) } -> std::convertible_to<typename RawRepresentation<T>::RawValue>;
  { RawRepresentation<T>::fromRaw(raw) } -> std::same_as<std::optional<T>>;
};

/// A raw-representable type codes as its raw value.
template <RawRepresentable T>
  requires JSONCodable<typename RawRepresentation<T>::RawValue>
struct JSONCoding<T> {
  static JSON encode(const T& value) { return JSONCoding<typename RawRepresentation<T>::RawValue>::encode(RawRepresentation<T>::rawValue(value)); }
  static std::optional<T> decode(const JSON& json) {
    if (auto raw = JSONCoding<typename RawRepresentation<T>::RawValue>::decode(json)) return RawRepresentation<T>::fromRaw(*raw);
    return std::nullopt;
  }
};

namespace detail {

/// Writes one line to standard output: the two failures that are reported there.
void printLine(std::string_view line);

/// The value as its bridge's input: a plain value, or an optional's content.
template <Serializable T>
std::optional<typename BridgeOf<T>::Value> bridgeInput(const T& value) {
  using Value = typename BridgeOf<T>::Value;
  if constexpr (std::is_same_v<T, Value>)
    return value;
  else
    return std::optional<Value>(value);
}

/// What `read` gives, or nothing when it runs out of memory: a stored value too large to convert is
/// unreadable, not the end of the process.
template <typename Read>
auto unlessOutOfMemory(Read&& read) -> decltype(read()) {
  try {
    return read();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  } catch (const std::length_error&) {
    return std::nullopt;
  }
}

template <Serializable T>
std::optional<typename BridgeOf<T>::Serializable> serializeElement(const T& value) {
  return BridgeOf<T>{}.serialize(bridgeInput(value));
}

template <Serializable T>
std::optional<T> deserializeElement(const std::optional<typename BridgeOf<T>::Serializable>& stored) {
  auto value = BridgeOf<T>{}.deserialize(stored);
  if (!value) return std::nullopt;
  return T(std::move(*value));
}

}  // namespace detail

// ---- the JSON text form ----

/// Serializes as the JSON text of the value alone (42 gives 42, a text its quoted JSON literal).
template <JSONCodable T>
struct CodableBridgeBase {
  using Value = T;
  using Serializable = std::string;

  std::optional<std::string> serialize(const std::optional<T>& value) const {
    if (!value) return std::nullopt;
    try {
      return encodeJSONText(*value);
    } catch (const JSONEncodingError& error) {
      detail::printLine(error.what());
      return std::nullopt;
    }
  }

  /// The text is read as the only element of a JSON array, so a bare "[42]" is no Int.
  std::optional<T> deserialize(const std::optional<std::string>& text) const {
    if (!text) return std::nullopt;
    return detail::unlessOutOfMemory([&text]() -> std::optional<T> {
      auto values = decodeJSONText<std::vector<T>>("[" + *text + "]");
      if (!values || values->empty()) return std::nullopt;
      return std::move(values->front());
    });
  }
};

template <JSONCodable T>
struct TopLevelCodableBridge : CodableBridgeBase<T> {};

template <typename T>
  requires RawRepresentable<T> && JSONCodable<T>
struct RawRepresentableCodableBridge : CodableBridgeBase<T> {};

// ---- the other bridges ----

/// A file location, stored as the JSON text of its "file://" URL.
struct URLBridge : CodableBridgeBase<std::filesystem::path> {};

template <RawRepresentable T>
struct RawRepresentableBridge {
  using Value = T;
  using Serializable = typename RawRepresentation<T>::RawValue;

  std::optional<Serializable> serialize(const std::optional<T>& value) const {
    if (!value) return std::nullopt;
    return RawRepresentation<T>::rawValue(*value);
  }
  std::optional<T> deserialize(const std::optional<Serializable>& raw) const {
    if (!raw) return std::nullopt;
    return RawRepresentation<T>::fromRaw(*raw);
  }
};

template <Serializable W>
struct OptionalBridge {
  using Value = typename BridgeOf<W>::Value;
  using Serializable = typename BridgeOf<W>::Serializable;

  std::optional<Serializable> serialize(const std::optional<Value>& value) const { return BridgeOf<W>{}.serialize(value); }
  std::optional<Value> deserialize(const std::optional<Serializable>& stored) const {
    return BridgeOf<W>{}.deserialize(stored);
  }
};

/// Element by element; elements that do not convert are left out, the rest keep their order.
template <Serializable E>
struct ArrayBridge {
  using Value = std::vector<E>;
  using Serializable = std::vector<typename BridgeOf<E>::Serializable>;

  std::optional<Serializable> serialize(const std::optional<Value>& values) const {
    if (!values) return std::nullopt;
    Serializable stored;
    for (const E& value : *values)
      if (auto element = detail::serializeElement(value)) stored.push_back(std::move(*element));
    return stored;
  }
  std::optional<Value> deserialize(const std::optional<Serializable>& stored) const {
    if (!stored) return std::nullopt;
    Value values;
    for (const auto& element : *stored)
      if (auto value = detail::deserializeElement<E>(element)) values.push_back(std::move(*value));
    return values;
  }
};

/// Keys by their text; entries whose key or value does not convert are left out.
template <TextConvertible K, Serializable E>
struct DictionaryBridge {
  using Value = std::map<K, E>;
  using Serializable = std::map<std::string, typename BridgeOf<E>::Serializable>;

  std::optional<Serializable> serialize(const std::optional<Value>& values) const {
    if (!values) return std::nullopt;
    Serializable stored;
    for (const auto& [key, value] : *values)
      if (auto element = detail::serializeElement(value))
        stored.insert_or_assign(TextConversion<K>::description(key), std::move(*element));
    return stored;
  }
  std::optional<Value> deserialize(const std::optional<Serializable>& stored) const {
    if (!stored) return std::nullopt;
    Value values;
    for (const auto& [text, element] : *stored) {
      auto key = TextConversion<K>::fromText(text);
      if (!key) continue;
      if (auto value = detail::deserializeElement<E>(element)) values.insert_or_assign(std::move(*key), std::move(*value));
    }
    return values;
  }
};

namespace detail {

/// Set-like values as arrays: natively stored elements as they are, others through their bridge.
template <Serializable E>
struct ElementArray {
  static Object::Array store(const std::vector<E>& elements) {
    Object::Array stored;
    for (const E& element : elements) {
      std::optional<Object> object;
      if constexpr (DefaultsSerializable<E>::isStoredNatively) {
        object = ObjectCast<E>::toObject(element);
      } else if (auto serialized = serializeElement(element)) {
        object = ObjectCast<typename BridgeOf<E>::Serializable>::toObject(*serialized);
      }
      if (object) stored.push_back(std::move(*object));
    }
    return stored;
  }
  static std::optional<std::vector<E>> load(const Object::Array& stored) {
    if constexpr (DefaultsSerializable<E>::isStoredNatively) {
      return ObjectCast<std::vector<E>>::fromObject(Object(stored));
    } else {
      auto forms = ObjectCast<std::vector<typename BridgeOf<E>::Serializable>>::fromObject(Object(stored));
      if (!forms) return std::nullopt;
      std::vector<E> elements;
      for (const auto& form : *forms)
        if (auto element = deserializeElement<E>(form)) elements.push_back(std::move(*element));
      return elements;
    }
  }
};

}  // namespace detail

namespace detail {

/// A bridge that stores a value as the array of its elements; `Shape` says how to take them out and put them back.
template <typename T, typename Element, typename Shape>
struct ElementArrayBridge {
  using Value = T;
  using Serializable = Object::Array;

  std::optional<Serializable> serialize(const std::optional<T>& value) const {
    if (!value) return std::nullopt;
    return ElementArray<Element>::store(Shape::elements(*value));
  }
  std::optional<T> deserialize(const std::optional<Serializable>& stored) const {
    if (!stored) return std::nullopt;
    auto elements = ElementArray<Element>::load(*stored);
    if (!elements) return std::nullopt;
    return Shape::make(std::move(*elements));
  }
};

}  // namespace detail

/// A set in its iteration order; equal elements collapse on reading.
template <Serializable E, typename Set = std::set<E>>
struct SetBridge : detail::ElementArrayBridge<Set, E, SetBridge<E, Set>> {
  static std::vector<E> elements(const Set& set) { return {set.begin(), set.end()}; }
  static Set make(std::vector<E> elements) { return Set(elements.begin(), elements.end()); }
};

/// A set-algebra type: its elements as an array, and built from a sequence of them.
template <typename T>
concept DefaultsSetAlgebraSerializable = requires(const T& value, const std::vector<typename T::value_type>& elements) {
  { value.elementArray() } -> std::convertible_to<std::vector<typename T::value_type>>;
  T(elements.begin(), elements.end());
};

/// A collection built from an array of its elements, stored in its own order.
template <typename T>
concept DefaultsCollectionSerializable = requires(const T& value, std::vector<typename T::value_type> elements) {
  T(std::move(elements));
  value.begin();
  value.end();
};

template <DefaultsSetAlgebraSerializable T>
struct SetAlgebraBridge : detail::ElementArrayBridge<T, typename T::value_type, SetAlgebraBridge<T>> {
  static std::vector<typename T::value_type> elements(const T& value) { return value.elementArray(); }
  static T make(std::vector<typename T::value_type> elements) { return T(elements.begin(), elements.end()); }
};

template <DefaultsCollectionSerializable T>
struct CollectionBridge : detail::ElementArrayBridge<T, typename T::value_type, CollectionBridge<T>> {
  static std::vector<typename T::value_type> elements(const T& value) { return {value.begin(), value.end()}; }
  static T make(std::vector<typename T::value_type> elements) { return T(std::move(elements)); }
};

struct UUIDBridge {
  using Value = platform::UUID;
  using Serializable = std::string;

  std::optional<std::string> serialize(const std::optional<platform::UUID>& value) const {
    if (!value) return std::nullopt;
    return value->uuidString();
  }
  std::optional<platform::UUID> deserialize(const std::optional<std::string>& text) const {
    if (!text) return std::nullopt;
    return platform::UUID::fromString(*text);
  }
};

/// Types that archive themselves as one keyed-archive object of their class.
template <typename T>
concept SecureCoding = requires(const T& value, const platform::KeyedArchive::Object& object) {
  { T::archiveClassName } -> std::convertible_to<std::string_view>;
  { value.archiveObject() } -> std::same_as<platform::KeyedArchive::Object>;
  { T::fromArchiveObject(object) } -> std::same_as<std::optional<T>>;
};

/// A keyed archive; reading accepts only an archive of T's own class, reads an archive of another class
/// as absent, and reports an unreadable archive on standard output, as it does one that needs more
/// memory than there is.
template <SecureCoding T>
struct NSSecureCodingBridge {
  using Value = T;
  using Serializable = platform::Data;

  std::optional<platform::Data> serialize(const std::optional<T>& value) const {
    if (!value) return std::nullopt;
    return platform::KeyedArchive::archive(value->archiveObject());
  }
  std::optional<T> deserialize(const std::optional<platform::Data>& data) const {
    if (!data) return std::nullopt;
    try {
      const std::optional<platform::KeyedArchive::Object> object =
          platform::KeyedArchive::unarchive(*data, T::archiveClassName);
      if (!object) return std::nullopt;
      return T::fromArchiveObject(*object);
    } catch (const platform::Error& error) {
      detail::printLine(error.description());
    } catch (const std::bad_alloc&) {
      detail::printLine(platform::KeyedArchive::corruptArchive().description());
    } catch (const std::length_error&) {
      detail::printLine(platform::KeyedArchive::corruptArchive().description());
    }
    return std::nullopt;
  }
};

/// A type that archives securely but is stored as its JSON text.
template <typename T>
  requires JSONCodable<T> && SecureCoding<T>
struct CodableNSSecureCodingBridge : CodableBridgeBase<T> {};

struct ColorBridge : NSSecureCodingBridge<platform::Color> {};

/// Markers that a type sets by specializing them as std::true_type: its default bridge then stores the
/// raw value, or the keyed archive, instead of the JSON text. Each counts only for a type that is
/// raw-representable, or archives securely.
template <typename T>
struct DefaultsPreferRawRepresentable : std::false_type {};
template <typename T>
struct DefaultsPreferNSSecureCoding : std::false_type {};

namespace detail {

// In this order: raw-representable before securely archived, a marker before the JSON text form.
template <typename T>
constexpr auto defaultBridge() {
  if constexpr (RawRepresentable<T> && DefaultsPreferRawRepresentable<T>::value)
    return std::type_identity<RawRepresentableBridge<T>>{};
  else if constexpr (RawRepresentable<T> && JSONCodable<T>)
    return std::type_identity<RawRepresentableCodableBridge<T>>{};
  else if constexpr (SecureCoding<T> && DefaultsPreferNSSecureCoding<T>::value)
    return std::type_identity<NSSecureCodingBridge<T>>{};
  else if constexpr (SecureCoding<T> && JSONCodable<T>)
    return std::type_identity<CodableNSSecureCodingBridge<T>>{};
  else
    return std::type_identity<void>{};
}

}  // namespace detail

/// The bridge of a type that names none: void when it has no default.
template <typename T>
using DefaultBridge = typename decltype(detail::defaultBridge<T>())::type;

// ---- the storable types ----

/// The scalar types stored as they are.
template <typename T>
concept NativeScalar = std::is_same_v<T, bool> || Integer<T> || std::is_floating_point_v<T> ||
                       std::is_same_v<T, std::string> || std::is_same_v<T, platform::Data> ||
                       std::is_same_v<T, platform::Date>;

template <NativeScalar T>
struct DefaultsSerializable<T> {
  using Bridge = TopLevelCodableBridge<T>;
  static constexpr bool isStoredNatively = true;
};

template <Serializable W>
struct DefaultsSerializable<std::optional<W>> {
  using Bridge = OptionalBridge<W>;
  static constexpr bool isStoredNatively = DefaultsSerializable<W>::isStoredNatively;
};

template <Serializable E>
struct DefaultsSerializable<std::vector<E>> {
  using Bridge = ArrayBridge<E>;
  static constexpr bool isStoredNatively = DefaultsSerializable<E>::isStoredNatively;
};

/// Only text-keyed dictionaries can be stored as they are; other keys always go through the bridge.
template <TextConvertible K, Serializable V>
struct DefaultsSerializable<std::map<K, V>> {
  using Bridge = DictionaryBridge<K, V>;
  static constexpr bool isStoredNatively = std::is_same_v<K, std::string> && DefaultsSerializable<V>::isStoredNatively;
};

template <Serializable E>
struct DefaultsSerializable<std::set<E>> {
  using Bridge = SetBridge<E, std::set<E>>;
  static constexpr bool isStoredNatively = false;
};

template <Serializable E>
struct DefaultsSerializable<std::unordered_set<E>> {
  using Bridge = SetBridge<E, std::unordered_set<E>>;
  static constexpr bool isStoredNatively = false;
};

template <>
struct DefaultsSerializable<std::filesystem::path> {
  using Bridge = URLBridge;
  static constexpr bool isStoredNatively = false;
};

template <>
struct DefaultsSerializable<platform::UUID> {
  using Bridge = UUIDBridge;
  static constexpr bool isStoredNatively = false;
};

template <>
struct DefaultsSerializable<platform::Color> {
  using Bridge = ColorBridge;
  static constexpr bool isStoredNatively = false;
};

/// A type without a specialization of its own, stored through its default bridge.
template <typename T>
  requires(!std::is_void_v<DefaultBridge<T>>)
struct DefaultsSerializable<T> {
  using Bridge = DefaultBridge<T>;
  static constexpr bool isStoredNatively = false;
};

/// Helpers for a type of one's own: `struct DefaultsSerializable<Mode> : RawRepresentableSerializable<Mode> {};`
template <RawRepresentable T>
struct RawRepresentableSerializable {
  using Bridge = RawRepresentableBridge<T>;
  static constexpr bool isStoredNatively = false;
};

// ---- the two conversions ----

/// The stored object of a value, or nothing when it has none.
template <Serializable T>
std::optional<Object> toPropertyListObject(const T& value) {
  if constexpr (DefaultsSerializable<T>::isStoredNatively) {
    return ObjectCast<T>::toObject(value);
  } else {
    auto stored = detail::serializeElement(value);
    if (!stored) return std::nullopt;
    return ObjectCast<typename BridgeOf<T>::Serializable>::toObject(*stored);
  }
}

/// The value of a stored object, or nothing (also when it is too large to convert). A natively stored type
/// also accepts its bridge's stored form, so an Int reads from the JSON text of a number.
template <Serializable T>
std::optional<T> fromPropertyListObject(const Object& object) {
  return detail::unlessOutOfMemory([&object]() -> std::optional<T> {
    if constexpr (DefaultsSerializable<T>::isStoredNatively) {
      if (auto value = ObjectCast<T>::fromObject(object)) return value;
    }
    return detail::deserializeElement<T>(ObjectCast<typename BridgeOf<T>::Serializable>::fromObject(object));
  });
}

}  // namespace Defaults
