#pragma once
// The name a type goes by in coding messages ("Int", "String", "Student"). Every coder
// asks `typeName<T>()`; a caller whose type should read otherwise specialises `TypeName`.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
struct Date;
class Data;
class Decimal;
class URL;
}  // namespace platform

namespace platform::coding {

namespace detail {
/// The unqualified type named in a compiler's signature text of `TypeName<T>::name`.
std::string typeNameFromSignature(std::string_view signature);
}  // namespace detail

/// By default a type's own name without its namespaces.
template <typename T>
struct TypeName {
  static std::string name() { return detail::typeNameFromSignature(__PRETTY_FUNCTION__); }
};

template <typename T>
std::string_view typeName() {
  static const std::string name = TypeName<T>::name();
  return name;
}

// The platform-width integers go by the plain names.
template <>
struct TypeName<bool> {
  static std::string name() { return "Bool"; }
};
template <>
struct TypeName<std::string> {
  static std::string name() { return "String"; }
};
template <>
struct TypeName<double> {
  static std::string name() { return "Double"; }
};
template <>
struct TypeName<float> {
  static std::string name() { return "Float"; }
};
template <>
struct TypeName<std::int8_t> {
  static std::string name() { return "Int8"; }
};
template <>
struct TypeName<std::int16_t> {
  static std::string name() { return "Int16"; }
};
template <>
struct TypeName<std::int32_t> {
  static std::string name() { return "Int32"; }
};
template <>
struct TypeName<std::int64_t> {
  static std::string name() { return "Int"; }
};
template <>
struct TypeName<std::uint8_t> {
  static std::string name() { return "UInt8"; }
};
template <>
struct TypeName<std::uint16_t> {
  static std::string name() { return "UInt16"; }
};
template <>
struct TypeName<std::uint32_t> {
  static std::string name() { return "UInt32"; }
};
template <>
struct TypeName<std::uint64_t> {
  static std::string name() { return "UInt"; }
};
template <>
struct TypeName<platform::Date> {
  static std::string name() { return "Date"; }
};
template <>
struct TypeName<platform::Data> {
  static std::string name() { return "Data"; }
};
template <>
struct TypeName<platform::Decimal> {
  static std::string name() { return "Decimal"; }
};
template <>
struct TypeName<platform::URL> {
  static std::string name() { return "URL"; }
};

template <typename T>
struct TypeName<std::vector<T>> {
  static std::string name() { return "Array<" + std::string(typeName<T>()) + ">"; }
};
template <typename T>
struct TypeName<std::optional<T>> {
  static std::string name() { return "Optional<" + std::string(typeName<T>()) + ">"; }
};

}  // namespace platform::coding
