#pragma once
// The XML property-list file format: our own writer, a pugixml-based reader.
// Integers keep their whole 64-bit range, reals and dates round-trip exactly
// (dates carry fractional seconds), and control characters in text are written
// as character references so that they come back unchanged.

#include <optional>
#include <string>
#include <string_view>

#include "platform/defaults/PropertyList.hpp"

namespace platform {

struct PropertyListXML {
  /// The complete document, with its XML declaration, ending in a newline. (A doctype is
  /// accepted when read but not written: nothing here validates against it.)
  static std::string write(const PropertyList& root);
  /// The root value, or nothing when the text is no well-formed property list;
  /// `reason` (when given) then says what is wrong.
  static std::optional<PropertyList> read(std::string_view text, std::string* reason = nullptr);

  /// ISO 8601 text of a date in UTC, with a fraction only when the date has one.
  static std::string dateText(Date date);
  static std::optional<Date> parseDate(std::string_view text);
};

}  // namespace platform
