#pragma once
// The property-list coder for FileCoding.hpp. A type takes part by a specialisation of
// PropertyListCodable<T> with `static T decode(const platform::PropertyList&)` and
// `static platform::PropertyList encode(const T&)`; PropertyList itself needs none.
// Reading takes XML or binary documents; writing makes XML unless told otherwise.

#include <string>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"
#include "platform/defaults/PropertyList.hpp"

namespace QVExtensions {

template <typename T>
struct PropertyListCodable;

template <>
struct PropertyListCodable<platform::PropertyList> {
  static platform::PropertyList decode(const platform::PropertyList& value) { return value; }
  static platform::PropertyList encode(const platform::PropertyList& value) { return value; }
};

/// A document that is no property list, or a value that cannot be written: the reason says why.
class PropertyListCodingError : public platform::Error {
 public:
  explicit PropertyListCodingError(std::string description, std::string reason);
};

struct PropertyListCoder {
  enum class Format { xml, binary };
  Format outputFormat = Format::xml;

  /// Throws PropertyListCodingError for bytes that are no property list.
  platform::PropertyList parse(const platform::Data& bytes) const;
  /// Throws PropertyListCodingError for a value that cannot be written.
  platform::Data serialize(const platform::PropertyList& value) const;

  template <typename T>
  T decode(const platform::Data& bytes) const {
    return PropertyListCodable<T>::decode(parse(bytes));
  }
  template <typename T>
  platform::Data encode(const T& value) const {
    return serialize(PropertyListCodable<T>::encode(value));
  }
};

}  // namespace QVExtensions
