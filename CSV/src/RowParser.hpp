#pragma once
// The row loop of the reader, over any scalar source. A source answers one scalar
// at a time (`take`, `endOfInput` at the end), and may append whole runs of ordinary
// scalars to a field at once (`appendOrdinary`); the rows are the same either way.
// Scalars travel as plain values with a sentinel: an optional in this loop costs a
// store-forwarding stall per scalar.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "ByteScanning.hpp"
#include "CSV/CSVReader.hpp"

namespace CSV {

inline constexpr char32_t endOfInput = 0xFFFFFFFF;

class RowSource {
 public:
  virtual ~RowSource() = default;
  /// Reads one row into `row`, reusing its storage; false at the end of the input.
  virtual bool readRow(CSVReader::Row& row) = 0;
  /// The same into one text and the ends of its fields.
  virtual bool readRow(CSVReader::Fields& fields) = 0;
};

template <typename Source>
class RowParser final : public RowSource {
 public:
  RowParser(Source source, const CSVReader::Configuration& configuration)
      : source_(std::move(source)),
        configuration_(configuration),
        unquoted_({U'\n', U'\r', configuration.delimiter}),
        quoted_({U'"'}) {}

  bool readRow(CSVReader::Row& row) override {
    // Each field in a string of its own, the row's strings reused.
    struct Separate {
      CSVReader::Row& row;
      std::size_t count = 0;
      std::string& beginField() {
        if (count == row.size()) row.emplace_back();
        std::string& field = row[count++];
        field.clear();
        return field;
      }
      static constexpr std::size_t fieldStart() { return 0; }
      void endField() {}
      void endRow() { row.resize(count); }
    };
    Separate sink{row};
    return readInto(sink);
  }

  bool readRow(CSVReader::Fields& fields) override {
    struct Together {
      CSVReader::Fields& fields;
      std::size_t start = 0;
      std::string& beginField() {
        start = fields.text_.size();
        return fields.text_;
      }
      std::size_t fieldStart() const { return start; }
      void endField() { fields.ends_.push_back(fields.text_.size()); }
      void endRow() {}
    };
    fields.text_.clear();
    fields.ends_.clear();
    Together sink{fields};
    return readInto(sink);
  }

 private:
  template <typename Sink>
  bool readInto(Sink& sink) {
    char32_t c = take();
    if (c == endOfInput) return false;
    for (;;) {
      std::string& field = sink.beginField();
      if (configuration_.trimFields)
        while (c != endOfInput && configuration_.whitespaces.contains(c)) c = take();
      const bool rowEnded =
          c == endOfInput || (c == U'"' ? readQuoted(field) : readUnquoted(c, field, sink.fieldStart()));
      sink.endField();
      if (rowEnded) break;
      c = take();
    }
    sink.endRow();
    return true;
  }

  [[gnu::always_inline]] char32_t take() {
    if (back_ != endOfInput) return std::exchange(back_, endOfInput);
    return source_.take();
  }
  /// After a CR: a following LF belongs to the row end, anything else to the next row.
  void skipLineFeed() {
    const char32_t next = take();
    if (next != U'\n') back_ = next;
  }
  static void append(std::string& field, char32_t scalar) {
    if (scalar < 0x80)
      field.push_back(static_cast<char>(scalar));
    else
      platform::appendUTF8(field, scalar);
  }

  /// Reads the rest of a field whose opening quote was taken; true when the row ended.
  bool readQuoted(std::string& field) {
    for (;;) {
      const char32_t s = take();
      if (s == endOfInput) return true;
      if (s != U'"') {
        append(field, s);
        source_.appendOrdinary(field, quoted_);
        continue;
      }
      char32_t t = take();
      if (configuration_.trimFields)
        while (t != endOfInput && configuration_.whitespaces.contains(t)) t = take();
      if (t == endOfInput || t == U'\n') return true;
      if (t == U'\r') {
        skipLineFeed();
        return true;
      }
      if (t == configuration_.delimiter) return false;
      // A doubled quote stands for one; a stray quote stays, with what followed it.
      field.push_back('"');
      if (t != U'"') append(field, t);
    }
  }

  /// Reads a field that starts with `c` and is appended to `field` from `start`; true when the row ended.
  bool readUnquoted(char32_t c, std::string& field, std::size_t start) {
    bool rowEnded = true;
    for (;;) {
      if (c == U'\n') break;
      if (c == U'\r') {
        skipLineFeed();
        break;
      }
      if (c == configuration_.delimiter) {
        rowEnded = false;
        break;
      }
      append(field, c);
      source_.appendOrdinary(field, unquoted_);
      c = take();
      if (c == endOfInput) break;
    }
    if (configuration_.trimFields) trimTrailing(field, start, configuration_.whitespaces);
    return rowEnded;
  }

  Source source_;
  const CSVReader::Configuration& configuration_;
  const ScanTable unquoted_;
  const ScanTable quoted_;
  char32_t back_ = endOfInput;  // a scalar given back, or none
};

}  // namespace CSV
