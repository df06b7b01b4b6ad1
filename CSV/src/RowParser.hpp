#pragma once
// The scalar loop of the reader, over any scalar source. A source answers one scalar
// at a time (`take`, `endOfInput` at the end), and may hand over whole runs of ordinary
// scalars at once (`ordinaryRun`); the rows are the same either way. A source whose bytes
// stay in place (`heldBytes`, with `position` the next one) lets fields be views of them.
// Scalars travel as plain values with a sentinel: an optional in this loop costs a
// store-forwarding stall per scalar.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ByteScanning.hpp"
#include "PlainRow.hpp"
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
      TextField beginField() {
        if (count == row.size()) row.emplace_back();
        std::string& field = row[count++];
        field.clear();
        return TextField{field, 0};
      }
      void endField(TextField&) {}
      void endRow() { row.resize(count); }
    };
    Separate sink{row};
    return readInto(sink);
  }

  bool readRow(CSVReader::Fields& fields) override {
    // Views of the bytes the source holds in place where a field is just those bytes, the
    // shared text of the row where it is not (or where fields are trimmed).
    struct Together {
      RowParser& parser;
      CSVReader::Fields& fields;
      ViewField beginField() {
        ViewField field{parser.source_, fields.text_};
        if (parser.configuration_.trimFields || parser.source_.heldBytes().empty()) field.copy();
        return field;
      }
      void endField(ViewField& field) {
        if (fields.count_ == fields.spans_.size()) fields.spans_.emplace_back();
        CSVReader::Fields::Span& span = fields.spans_[fields.count_++];
        if (field.copied)
          span = {nullptr, field.start, fields.text_.size() - field.start};
        else
          span = {field.begin, 0, static_cast<std::size_t>(field.end - field.begin)};
      }
      void endRow() {}
    };
    if (readPlainRow(fields)) return true;
    fields.text_.clear();
    fields.count_ = 0;
    Together sink{*this, fields};
    return readInto(sink);
  }

 private:
  static void append(std::string& text, char32_t scalar) {
    if (scalar < 0x80)
      text.push_back(static_cast<char>(scalar));
    else
      platform::appendUTF8(text, scalar);
  }

  /// A field appended to a string from `start`.
  struct TextField {
    std::string& text;
    std::size_t start;
    void push(char32_t scalar) { append(text, scalar); }
    void run(std::string_view bytes) { text.append(bytes); }
    void trim(const platform::CharacterSet& whitespaces) { trimTrailing(text, start, whitespaces); }
  };

  /// A field that is a view of the source's held bytes while each byte appended is the next
  /// of them; from the first that is not, a copy in `text` from `start`. The view's
  /// content is always what the copy would hold.
  struct ViewField {
    Source& source;
    std::string& text;
    const char* begin = nullptr;
    const char* end = nullptr;
    bool copied = false;
    std::size_t start = 0;

    void copy() {
      copied = true;
      start = text.size();
      text.append(begin, end);
    }
    [[gnu::always_inline]] void push(char32_t scalar) {
      if (copied) return append(text, scalar);
      if (scalar >= 0x80) return pushEncoded(scalar);
      const std::string_view held = source.heldBytes();
      // A scalar just taken lies right before the source's position.
      const char* at = begin ? end : source.position() - 1;
      if ((begin || source.position() != held.data()) && at != held.data() + held.size() &&
          *at == static_cast<char>(scalar)) {
        if (!begin) begin = at;
        end = at + 1;
        return;
      }
      copy();
      text.push_back(static_cast<char>(scalar));
    }
    [[gnu::noinline]] void pushEncoded(char32_t scalar) {
      std::string bytes;
      platform::appendUTF8(bytes, scalar);
      const std::size_t length = bytes.size();
      const std::string_view held = source.heldBytes();
      const auto position = static_cast<std::size_t>(source.position() - held.data());
      const std::size_t at = begin ? static_cast<std::size_t>(end - held.data()) : position - length;
      if ((begin || position >= length) && at + length <= held.size() && held.substr(at, length) == bytes) {
        if (!begin) begin = held.data() + at;
        end = held.data() + at + length;
        return;
      }
      copy();
      text.append(bytes);
    }
    void run(std::string_view bytes) {
      if (bytes.empty()) return;
      if (copied) return text.append(bytes), void();
      // A run is always of the held bytes: it continues the view when it starts at its end.
      if (!begin) begin = end = bytes.data();
      if (bytes.data() == end) {
        end += bytes.size();
        return;
      }
      copy();
      text.append(bytes);
    }
    void trim(const platform::CharacterSet& whitespaces) {
      if (copied) trimTrailing(text, start, whitespaces);
    }
  };

  /// Reads a row straight from the held bytes when every field in it is plain: unquoted, or
  /// quoted with nothing after the closing quote but the row's end or the delimiter, and
  /// well-formed up to its end. False, with nothing consumed, for any other row, which the
  /// scalar loop then reads; both read a plain row alike, this one without a call per scalar.
  bool readPlainRow(CSVReader::Fields& fields) {
    if constexpr (requires(Source& source) { source.consume(std::size_t{}); }) {
      const std::string_view held = source_.heldBytes();
      if (held.empty() || configuration_.trimFields || configuration_.delimiter >= 0x80 || back_ != endOfInput)
        return false;
      const auto* const first = reinterpret_cast<const std::uint8_t*>(source_.position());
      const auto* const end = reinterpret_cast<const std::uint8_t*>(held.data() + held.size());
      if (first == end) return false;
      PlainRow row{fields, end, static_cast<std::uint8_t>(configuration_.delimiter), quoted_};
      const std::uint8_t* const next = row.read(first);
      if (!next) return false;
      source_.consume(static_cast<std::size_t>(next - first));
      return true;
    } else {
      (void)fields;
      return false;
    }
  }

  template <typename Sink>
  bool readInto(Sink& sink) {
    char32_t c = take();
    if (c == endOfInput) return false;
    for (;;) {
      auto field = sink.beginField();
      if (configuration_.trimFields)
        while (c != endOfInput && configuration_.whitespaces.contains(c)) c = take();
      const bool rowEnded = c == endOfInput || (c == U'"' ? readQuoted(field) : readUnquoted(c, field));
      sink.endField(field);
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

  /// Reads the rest of a field whose opening quote was taken; true when the row ended.
  template <typename Field>
  bool readQuoted(Field& field) {
    for (;;) {
      const char32_t s = take();
      if (s == endOfInput) return true;
      if (s != U'"') {
        field.push(s);
        field.run(source_.ordinaryRun(quoted_));
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
      field.push(U'"');
      if (t != U'"') field.push(t);
    }
  }

  /// Reads a field that starts with `c`; true when the row ended.
  template <typename Field>
  bool readUnquoted(char32_t c, Field& field) {
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
      field.push(c);
      field.run(source_.ordinaryRun(unquoted_));
      c = take();
      if (c == endOfInput) break;
    }
    if (configuration_.trimFields) field.trim(configuration_.whitespaces);
    return rowEnded;
  }

  Source source_;
  const CSVReader::Configuration& configuration_;
  const ScanTable unquoted_;
  const ScanTable quoted_;
  char32_t back_ = endOfInput;  // a scalar given back, or none
};

}  // namespace CSV
