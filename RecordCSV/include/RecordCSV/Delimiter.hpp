#pragma once
// The field delimiter and the set of row delimiters of a CSV dialect, in scalars.

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace RecordCSV::Delimiter {

/// Row delimiters compare by length first, so that the first member of a set is the shortest.
struct ShorterFirst {
  bool operator()(const std::u32string& a, const std::u32string& b) const {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  }
};
using RowSet = std::set<std::u32string, ShorterFirst>;

/// The field delimiter: a sequence of scalars. Empty means that none is given.
struct Field {
  std::u32string scalars;

  /// No concrete delimiter.
  Field() = default;
  /// The scalars of a UTF-8 text; an empty text gives no concrete delimiter. Not explicit, so that
  /// a configuration names its delimiter as the text itself: `delimiters.field = ";"`.
  Field(std::string_view text);  // NOLINT(google-explicit-constructor)
  Field(const char* text) : Field(std::string_view(text)) {}
  explicit Field(char32_t scalar) : scalars(1, scalar) {}

  std::string description() const;
  friend bool operator==(const Field&, const Field&) = default;
};

/// The accepted row delimiters: several may be accepted at once. Empty means that none is given.
struct Row {
  RowSet scalars;

  /// No concrete delimiter.
  Row() = default;
  /// The one delimiter made of the text's scalars; an empty text gives no concrete delimiter.
  Row(std::string_view text);  // NOLINT
  Row(const char* text) : Row(std::string_view(text)) {}
  explicit Row(char32_t scalar) { scalars.insert(std::u32string(1, scalar)); }
  /// One delimiter per non-empty text; nothing when no text is left.
  static std::optional<Row> fromTexts(const std::vector<std::string>& texts);
  /// LF and CR LF.
  static Row standard();

  /// The text of the smallest member; the set must not be empty.
  std::string description() const;
  friend bool operator==(const Row&, const Row&) = default;
};

/// A dialect's field delimiter and row delimiters, as readers and writers are configured;
/// the comma and the line feed unless told otherwise.
struct Pair {
  Field field{","};
  Row row{"\n"};
  friend bool operator==(const Pair&, const Pair&) = default;
};

/// The validated pair that readers and writers keep.
struct Scalars {
  std::u32string field;
  RowSet row;

  /// Nothing when the field is empty, the row set is empty, a row member is empty,
  /// or a row member equals the field delimiter.
  static std::optional<Scalars> make(const std::u32string& field, const RowSet& row);
};

}  // namespace RecordCSV::Delimiter
