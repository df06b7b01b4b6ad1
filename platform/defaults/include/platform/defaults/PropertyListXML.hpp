#pragma once
// The XML property-list file format: our own writer, a pugixml-based reader.
// Integers keep their whole 64-bit range, reals and dates round-trip exactly
// (dates carry fractional seconds), and control characters in text are written
// as character references so that they come back unchanged.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/defaults/PropertyList.hpp"

namespace platform {

struct PropertyListXML {
  /// How deep values nest at most: the root lies at depth 0, and a document with a value below
  /// this depth is neither written nor read.
  static constexpr int maximumDepth = 512;

  /// The complete document, with its XML declaration, ending in a newline; nothing when a value
  /// cannot be written (`unwritableReason`), and `reason` (when given) then says why. (A doctype is
  /// accepted when read but not written: nothing here validates against it.)
  static std::optional<std::string> write(const PropertyList& root, std::string* reason = nullptr);
  /// Why the value, lying `depth` levels below a document's root, cannot be written and read back:
  /// it nests below maximumDepth, or holds a date that is not finite or lies more than 2^53 - 1
  /// seconds from the reference date. Nothing when it can.
  static std::optional<std::string> unwritableReason(const PropertyList& value, int depth = 0);
  /// The root value, or nothing when the text is no well-formed property list; `reason` (when given)
  /// then says what is wrong. With `leftOut`, an entry of a root dictionary whose value is well formed
  /// but beyond what can be held (nested too deep, a date out of range) is left out and its key listed
  /// there, and the other entries are read. Throws std::bad_alloc when memory runs out, which says
  /// nothing of the text.
  static std::optional<PropertyList> read(std::string_view text, std::string* reason = nullptr,
                                          std::vector<std::string>* leftOut = nullptr);

  /// ISO 8601 text of a date in UTC, with a fraction only when the date has one; nothing for a
  /// date that cannot be written.
  static std::optional<std::string> dateText(Date date);
  /// Nothing for a malformed text, an impossible day (2023-02-31) or a date out of range.
  static std::optional<Date> parseDate(std::string_view text);
};

}  // namespace platform
