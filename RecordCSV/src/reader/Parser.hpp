#pragma once
// The parser over well-formed UTF-8. Its byte engine skips the bytes that cannot start
// the escaping scalar or a delimiter by a byte-class table, and fields are copied in
// runs into the caller's field table. Delimiter matching keeps the scalar-level
// read-ahead rules, including where a read-ahead meets undecodable input.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/FieldTable.hpp"
#include "RecordCSV/RowStore.hpp"
#include "RecordCSV/UTF8Source.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {

class Parser {
 public:
  Parser(const CSVReader::Settings& settings, std::unique_ptr<UTF8Source> source);

  /// Appends one row's fields to `table`; false when the input ends at the start of a row.
  /// `rowIndex` is what parse errors report.
  bool parseRow(FieldTable& table, std::int64_t rowIndex);
  /// How many escaped fields were opened so far: a row of one empty field is an empty line, which
  /// readers pass over, only when that field was not escaped.
  std::uint64_t escapedFields() const noexcept { return escapedFields_; }
  /// Bytes of text still to come, when the source knows.
  std::size_t sizeHint() const noexcept { return size_ - pos_ + source_->sizeHint(); }
  /// Where the row that `parseRow` read last, or is reading, begins in the whole text.
  std::uint64_t rowStart() const noexcept { return rowStart_; }
  /// Where `at`, in the text at hand, lies in the whole text.
  std::uint64_t offsetOf(const char* at) const noexcept {
    return dropped_ + static_cast<std::uint64_t>(at - data_);
  }

  // Rows kept as slices of the text (ParserSlices.cpp).
  /// A store for the rows still to come that can keep plain rows as slices (of the text when
  /// it stays where it is, else of copies), when the dialect is one the scan reads; null otherwise.
  std::shared_ptr<RowStore> makeSliceStore();
  struct RowSlice {
    const char* text;
    std::size_t length;  // without the row delimiter
    std::size_t fields;
    bool emptyLine;  // one empty field, not escaped
  };
  /// The next row, when it lies whole in the text at hand and every field in it is plain;
  /// false, with nothing consumed, when the row is the byte engine's to read.
  bool sliceRow(RowSlice& slice);
  /// Adds rows of exactly `fields` fields to `store` while they can be slices; how many it
  /// added. `needsEngine` tells whether the row it stopped at can be no slice at all.
  std::size_t sliceRows(RowStore& store, std::size_t fields, bool& needsEngine);

 private:
  struct Scalar {
    char32_t value;
    std::size_t length;
  };
  enum class Tail { match, mismatch, end };
  struct Member {
    char32_t first;
    std::string tail;  // the UTF-8 of the scalars after the first
  };

  /// The scalar that well-formed UTF-8 starts with.
  static Scalar decode(const char* bytes) noexcept {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char b0 = s[0];
    if (b0 < 0x80) return {b0, 1};
    if (b0 < 0xE0) return {char32_t(b0 & 0x1F) << 6 | (s[1] & 0x3F), 2};
    if (b0 < 0xF0) return {char32_t(b0 & 0x0F) << 12 | char32_t(s[1] & 0x3F) << 6 | (s[2] & 0x3F), 3};
    return {char32_t(b0 & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12 | char32_t(s[2] & 0x3F) << 6 | (s[3] & 0x3F),
            4};
  }
  Scalar scalarAt(std::size_t offset) const noexcept { return decode(data_ + offset); }
  /// Makes more text available after `pos_`, keeping the bytes from `pos_` on; false at the end.
  bool refill();
  bool ensure(std::size_t bytes) {
    while (size_ - pos_ < bytes)
      if (!refill()) return false;
    return true;
  }
  Tail matchTail(std::size_t distance, std::string_view tail);
  /// The number of bytes of the delimiter starting with `c` at `pos_`, or 0 when none does.
  std::size_t fieldMatch(Scalar c);
  std::size_t rowMatch(Scalar c) {
    // A one-scalar member matches at once in every matcher variant: shortest members come first.
    if (c.value < 0x80 && rowSingles_[c.value]) return 1;
    return rowMatchAhead(c);
  }
  std::size_t rowMatchAhead(Scalar c);
  /// What one step from a field's start did: skipped a trim character, ended one or more fields, or the row.
  enum class Step { trimmed, fields, rowEnded };
  Step stepByBytes(std::int64_t rowIndex);
  // Each returns whether the row ended with the field.
  bool parseUnescaped(Scalar first, std::int64_t rowIndex);
  bool parseEscaped(std::int64_t rowIndex);
  bool closeEscaped(Scalar next, std::int64_t rowIndex);
  void endUnescapedField();
  /// The length of `field` without the trim scalars at its end.
  std::size_t untrimmedLength(std::string_view field) const noexcept;
  // The vector scan of the common dialects (ParserScan.cpp); the byte engine takes over
  // where a field or a delimiter reaches past the text at hand, and for every error.
  void setUpScan();
  void setUpTrimBytes();
  Step stepScanned(std::int64_t rowIndex);
  bool scanUnescaped(std::int64_t rowIndex);
  /// Where scanFields stopped: the row ended, or `pos_` is at a field's start, inside an
  /// escaped field (the text before it appended), or right after one's closing quote.
  enum class Scanned { rowEnded, fieldStart, insideEscapedField, afterEscapedField };
  /// Fields that end inside the text at a field delimiter or a one-scalar row delimiter.
  /// With `trim`, leading ASCII trim scalars are skipped and trailing ones dropped here;
  /// a field that starts with any other trim lead byte is left to the byte engine.
  template <bool trim>
  Scanned scanFields(FieldTable& table);
  // Stop bits of the text from `base` to `end`; emptied by every refill.
  struct Window {
    std::size_t base = 0;
    std::size_t end = 0;
    std::uint64_t bits = 0;
  };
  /// The first stop byte of `text` at or after `from`, or `size` when it has none.
  std::size_t nextStop(Window& window, const char* text, std::size_t size, std::size_t from) const {
    for (;;) {
      if (from >= window.base && from < window.end) {
        const std::uint64_t bits = window.bits & (~std::uint64_t{0} << (from - window.base));
        if (bits != 0) return window.base + static_cast<std::size_t>(std::countr_zero(bits));
        from = window.end;
      }
      if (from >= size) return size;
      window.base = from;
      if (size - from >= 64) {
        window.bits = classify_(text + from, stopBytes_);
        window.end = from + 64;
      } else {
        window.bits = scan::classifyTail(text + from, size - from, stopBytes_);
        window.end = size;
      }
    }
  }
  void flushRun() {
    table_->append(data_ + run_, pos_ - run_);
    run_ = noRun;
  }

  static constexpr std::size_t noRun = static_cast<std::size_t>(-1);

  std::unique_ptr<UTF8Source> source_;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  std::size_t run_ = noRun;  // start of field text not yet copied to the table
  std::uint64_t dropped_ = 0;  // text before `data_`, given back to the source
  std::uint64_t rowStart_ = 0;
  bool ended_ = false;
  FieldTable* table_ = nullptr;
  std::uint64_t escapedFields_ = 0;

  char32_t fieldFirst_;
  std::string fieldTail_;
  // With two or more row delimiters of at most two scalars, any scalar that is not a
  // one-scalar delimiter reads one scalar ahead; otherwise only a matching first scalar does.
  bool singlesAndPairs_ = false;
  std::vector<Member> rowMembers_;  // shortest first
  std::optional<char32_t> escape_;
  char escapeLead_ = 0;
  platform::CharacterSet trim_;
  bool trimNeeded_;
  std::array<bool, 256> stops_{};  // lead bytes of the escaping scalar and the delimiters' first scalars
  std::array<bool, 128> rowSingles_{};  // ASCII row delimiters of one scalar

  scan::Classify classify_ = nullptr;  // null: the byte engine reads this dialect
  scan::StopBytes stopBytes_;
  int fieldByte_ = -1;
  int quoteByte_ = -1;  // -1: no escaping scalar
  bool lineFeedEndsRow_ = false;
  // With trimming: ASCII trim scalars; bytes that may start a trim scalar; bytes that may end one.
  std::array<bool, 256> trimASCII_{};
  std::array<bool, 256> trimLead_{};
  std::array<bool, 256> trimLast_{};
  Window window_;
  /// The row from `next` on as a slice of the text at hand (`next` then past it), within
  /// `maximumFields` fields; nothing when it cannot be one.
  template <bool trim>
  std::optional<RowSlice> nextSlice(Window& window, std::size_t& next, std::size_t maximumFields) const;
  /// Rows of `fields` fields that can be slices, found block by block; how many it added.
  template <bool trim>
  std::size_t sliceBlockRows(RowStore& store, std::size_t fields, bool& needsEngine);
  /// Whether a byte next to one of the delimiters at `base` + the bits of `delimiters` may
  /// start or end a trim scalar of a field (a field ending at `rowStart` is empty).
  bool trimmedAround(std::uint64_t delimiters, std::size_t base, std::size_t rowStart) const noexcept;
  bool sliceCRLineFeed_ = false;
  scan::StopBytes sliceDelimiters_;
  scan::StopBytes sliceQuotes_;  // CR LF ends a row (without a one-scalar CR doing so first)
};

}  // namespace RecordCSV
