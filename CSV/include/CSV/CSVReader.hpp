#pragma once
// Delimited text read row by row from a byte stream in UTF-8, UTF-16 or UTF-32, or
// from a text. One delimiter, the double quote as the only quoting character, LF,
// CR and CR LF as row ends, an optional header row and optional trimming.
//
// Constructors throw a CSVError; reading never throws. A read or decoding failure
// ends the row at hand (returned with the fields read so far) and is kept in
// `error()`; from then on `next()` answers none.

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CSV/CSVError.hpp"
#include "CSV/Endian.hpp"
#include "CSV/UnicodeCodec.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/InputStream.hpp"
#include "platform/text/CharacterSet.hpp"

namespace CSV {

template <typename Source>
class RowParser;
class PlainRow;

class CSVReader {
 public:
  using Row = std::vector<std::string>;

  /// One row's fields: views that stay valid until the next read into the same object, which
  /// reuses its storage. A field is a view of the reader's input where the input is held in
  /// memory and the field is just its bytes, else of a text the row's fields share.
  class Fields {
   public:
    std::size_t size() const noexcept { return count_; }
    std::string_view operator[](std::size_t index) const noexcept {
      const Span& span = spans_[index];
      return {span.at ? span.at : text_.data() + span.offset, span.size};
    }

   private:
    template <typename Source>
    friend class RowParser;
    friend class PlainRow;
    struct Span {
      const char* at;  // null for a field of `text_`, at `offset`
      std::size_t offset;
      std::size_t size;
    };
    std::string text_;
    std::vector<Span> spans_;  // the first `count_`, the others kept for later rows
    std::size_t count_ = 0;
  };

  struct Configuration {
    /// The first row is read at construction as the header row.
    bool hasHeaderRow = false;
    /// White space around unquoted fields and around the quotes of quoted ones is dropped.
    bool trimFields = false;
    char32_t delimiter = U',';
    /// What trimming drops; a reader never holds its delimiter in it.
    platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces();
  };

  /// The byte reader's buffer size.
  static constexpr std::size_t bufferSize = 65535;

  /// UTF-8 bytes; a leading EF BB BF is skipped.
  explicit CSVReader(std::shared_ptr<platform::InputStream> stream, bool hasHeaderRow = false, bool trimFields = false,
                     char32_t delimiter = U',',
                     platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());
  CSVReader(std::shared_ptr<platform::InputStream> stream, UTF8 codec, bool hasHeaderRow = false,
            bool trimFields = false, char32_t delimiter = U',',
            platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());
  /// 16-bit units in `endian` order; a mark FE FF or FF FE is skipped, and with `unknown` sets the order.
  CSVReader(std::shared_ptr<platform::InputStream> stream, UTF16 codec, Endian endian, bool hasHeaderRow = false,
            bool trimFields = false, char32_t delimiter = U',',
            platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());
  /// 32-bit units; as above with the marks 00 00 FE FF and FF FE 00 00.
  CSVReader(std::shared_ptr<platform::InputStream> stream, UTF32 codec, Endian endian, bool hasHeaderRow = false,
            bool trimFields = false, char32_t delimiter = U',',
            platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());
  /// UTF-8 bytes held in memory, read in place: the rows and failures are those of a stream over them.
  CSVReader(platform::Data bytes, UTF8 codec, bool hasHeaderRow = false, bool trimFields = false,
            char32_t delimiter = U',', platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());
  /// The scalars of a UTF-8 text (an ill-formed byte reads as U+FFFD); a mark is an ordinary scalar.
  explicit CSVReader(std::string_view text, bool hasHeaderRow = false, bool trimFields = false,
                     char32_t delimiter = U',',
                     platform::CharacterSet whitespaces = platform::CharacterSet::whitespaces());

  CSVReader(CSVReader&&) noexcept;
  CSVReader& operator=(CSVReader&&) noexcept;
  ~CSVReader();

  /// Reads the next row into `currentRow()` and answers it; none at the end of the
  /// input or after a failure. The answer stays valid until the next call.
  const std::optional<Row>& next();
  /// Reads the next row as `next()` would, into `fields`: false where `next()` answers none.
  /// `currentRow()` is then none.
  bool next(Fields& fields);

  const Configuration& configuration() const noexcept;
  const std::optional<Row>& headerRow() const noexcept;
  const std::optional<Row>& currentRow() const noexcept;
  /// The input failure that ended the rows, if any.
  const std::optional<CSVError>& error() const noexcept;

  /// The field of the current row under the first header named `name` (canonically
  /// equivalent spellings, such as a composed and a decomposed "é", are one name); the empty
  /// text when the row is too short; none without a header row, a current row or
  /// such a header.
  std::optional<std::string> operator[](std::string_view name) const;

  /// Iterating the reader calls `next()` until none.
  class RowIterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Row;
    using difference_type = std::ptrdiff_t;
    using pointer = const Row*;
    using reference = const Row&;

    RowIterator() = default;
    explicit RowIterator(CSVReader* reader) : reader_(reader) { ++*this; }
    reference operator*() const { return *row_; }
    pointer operator->() const { return row_; }
    RowIterator& operator++() {
      const std::optional<Row>& row = reader_->next();
      row_ = row ? &*row : nullptr;
      return *this;
    }
    void operator++(int) { ++*this; }
    friend bool operator==(const RowIterator& a, const RowIterator& b) { return a.row_ == b.row_; }

   private:
    CSVReader* reader_ = nullptr;
    const Row* row_ = nullptr;
  };
  RowIterator begin() { return RowIterator(this); }
  RowIterator end() { return RowIterator(); }

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace CSV
