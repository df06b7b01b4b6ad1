#pragma once
// The CSV writer: rows of text fields become delimited text in a text encoding,
// in memory or in a file. Every row holds the same number of fields, and a field
// is wrapped in the escaping scalar only when it has to be.

#include <array>
#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "RecordCSV/CSVError.hpp"
#include "RecordCSV/Delimiter.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/OutputStream.hpp"
#include "platform/text/TextEncoding.hpp"

namespace RecordCSV {

class ByteBuffer;
namespace scan16 {
class Stops;
class ShortFields;
}  // namespace scan16

namespace Strategy {
/// The byte-order mark a writer puts before its output: `convention` marks only the encodings
/// whose name leaves the byte order open (big-endian, as they are written); `always` marks every
/// Unicode encoding; `never` and the other encodings get none.
std::vector<std::uint8_t> bytes(BOM strategy, const platform::TextEncoding& encoding);
}  // namespace Strategy

/// A range of fields: anything whose elements read as UTF-8 text.
template <typename R>
concept FieldRange = std::ranges::forward_range<R> && std::convertible_to<std::ranges::range_reference_t<R>, std::string_view>;

/// A range of rows, each a range of fields.
template <typename R>
concept RowRange = std::ranges::input_range<R> && FieldRange<std::ranges::range_reference_t<R>>;

class CSVWriter {
 public:
  /// The caller's description of the dialect and the output.
  struct Configuration {
    using Delimiters = Delimiter::Pair;

    /// The output's encoding; UTF-8 when absent.
    std::optional<platform::TextEncoding> encoding;
    Strategy::BOM bomStrategy = Strategy::BOM::convention;
    Delimiters delimiters;
    Strategy::Escaping escapingStrategy = Strategy::Escaping::standard();
    /// Written as the first row when not empty; their number fixes the fields per row.
    std::vector<std::string> headers;

    friend bool operator==(const Configuration&, const Configuration&) = default;
  };
  using Configure = std::function<void(Configuration&)>;

  /// The validated form of a configuration.
  struct Settings {
    struct Delimiters {
      std::u32string field;
      /// The one row delimiter written: the shortest of the configured set, the lowest scalars first.
      std::u32string row;
    };
    Delimiters delimiters;
    std::optional<char32_t> escapingScalar;
    std::vector<std::string> headers;
    platform::TextEncoding encoding;

    /// Throws the configuration errors: invalid delimiters, an unsupported encoding.
    static Settings make(const Configuration& configuration);
  };

  /// The writer's failure kinds; the raw values are the error codes.
  enum class Error : std::int64_t { invalidConfiguration = 1, invalidInput = 2, streamFailure = 4, invalidOperation = 5 };
  using Failure = Error;
  static constexpr std::string_view errorDomain = "Writer";
  static constexpr std::string_view typeName = "CSVWriter";
  static std::string_view errorDescription(Error failure);

  /// A writer into memory; its bytes are `data()` after `endEncoding()`.
  CSVWriter();
  explicit CSVWriter(Configuration configuration);
  explicit CSVWriter(const Configure& configure);
  /// A writer into a file, created or replaced, or appended to when `append` (then without a
  /// byte-order mark). A configuration that is not valid leaves an existing file untouched, and so
  /// does appending to a file whose byte-order mark is not the one the output's encoding has
  /// (only a regular file is looked at: a pipe, a FIFO or a terminal is written to as it is).
  CSVWriter(const std::filesystem::path& fileURL, bool append);
  CSVWriter(const std::filesystem::path& fileURL, bool append, Configuration configuration);
  CSVWriter(const std::filesystem::path& fileURL, bool append, const Configure& configure);
  /// A writer into a stream that the caller made and has not opened; the writer opens and closes it.
  CSVWriter(std::shared_ptr<platform::OutputStream> stream, Configuration configuration);
  /// Ends the encoding as `endEncoding()` does, ignoring any failure.
  ~CSVWriter();
  CSVWriter(const CSVWriter&) = delete;
  CSVWriter& operator=(const CSVWriter&) = delete;

  const Configuration& configuration() const noexcept { return configuration_; }
  const Settings& settings() const noexcept { return settings_; }
  /// Rows completed, the header row not counted.
  std::int64_t rowIndex() const noexcept { return rowIndex_; }
  /// Fields written into the row in progress.
  std::int64_t fieldIndex() const noexcept { return fieldIndex_; }
  /// Fields per row; 0 until the header row or the first completed row fixes it.
  std::int64_t expectedFields() const noexcept { return expectedFields_; }

  /// Appends one field to the current row.
  void writeField(std::string_view field);
  /// Appends fields to the current row; when they do not fit, nothing is written.
  template <FieldRange R>
  void writeFields(const R& fields) {
    requireRoom(static_cast<std::int64_t>(std::ranges::distance(fields)));
    if (fieldIndex_ == 0 && !std::ranges::empty(fields))
      firstFieldEmpty_ = std::string_view(*std::ranges::begin(fields)).empty();
    beginBatch();
    for (auto&& field : fields) appendField(std::string_view(field));
    flushBatch();
  }
  void writeFields(std::initializer_list<std::string_view> fields) { writeFields<>(fields); }
  /// `writeFields` then `endRow`.
  template <FieldRange R>
  void writeRow(const R& fields) {
    const auto count = static_cast<std::size_t>(std::ranges::distance(fields));
    requireRoom(static_cast<std::int64_t>(count));
    // The views go into room kept from row to row, without a check for growth per field.
    if (rowFields_.size() < count) rowFields_.resize(count);
    std::string_view* view = rowFields_.data();
    for (auto&& field : fields) *view++ = std::string_view(field);
    writeCollectedRow({rowFields_.data(), count});
  }
  void writeRow(std::initializer_list<std::string_view> fields) { writeRow<>(fields); }
  /// Completes the current row with empty fields, or writes an empty row when it holds none.
  void endRow();
  /// Writes a row of `expectedFields()` empty fields.
  void writeEmptyRow();
  /// Completes a pending row and closes the output; later calls do nothing. A failure to hand
  /// over buffered bytes or to close the file is thrown.
  void endEncoding();
  /// The bytes of a memory writer, once `endEncoding()` has closed it.
  platform::Data data() const;
  /// The bytes of `data()` decoded from the output's encoding into UTF-8, without the byte-order mark.
  std::string text() const;

  // Overloads rather than default arguments: clang cannot use Configuration's member
  // initialisers inside the class that encloses it.

  /// Every row written into memory.
  template <RowRange Rows>
  static platform::Data serialize(const Rows& rows) {
    return serialize(rows, Configuration());
  }
  template <RowRange Rows>
  static platform::Data serialize(const Rows& rows, Configuration configuration) {
    CSVWriter writer(std::move(configuration));
    writer.writeRows(rows);
    return writer.data();
  }
  template <RowRange Rows>
  static platform::Data serialize(const Rows& rows, const Configure& configure) {
    return serialize(rows, configured(configure));
  }
  /// Every row written into memory, decoded back into text with the configured encoding.
  template <RowRange Rows>
  static std::string serializeToString(const Rows& rows) {
    return serializeToString(rows, Configuration());
  }
  template <RowRange Rows>
  static std::string serializeToString(const Rows& rows, Configuration configuration) {
    CSVWriter writer(std::move(configuration));
    writer.writeRows(rows);
    return writer.text();
  }
  template <RowRange Rows>
  static std::string serializeToString(const Rows& rows, const Configure& configure) {
    return serializeToString(rows, configured(configure));
  }
  /// Every row written into a file.
  template <RowRange Rows>
  static void serialize(const Rows& rows, const std::filesystem::path& fileURL, bool append) {
    serialize(rows, fileURL, append, Configuration());
  }
  template <RowRange Rows>
  static void serialize(const Rows& rows, const std::filesystem::path& fileURL, bool append,
                        Configuration configuration) {
    CSVWriter writer(fileURL, append, std::move(configuration));
    writer.writeRows(rows);
  }
  template <RowRange Rows>
  static void serialize(const Rows& rows, const std::filesystem::path& fileURL, bool append,
                        const Configure& configure) {
    serialize(rows, fileURL, append, configured(configure));
  }

  /// Turns scalars into bytes of the output's encoding (internal).
  class Encoder;

 private:
  using StreamMaker = std::function<std::shared_ptr<platform::OutputStream>(const Settings&)>;
  /// Validates the configuration before the stream is made, so that a bad one never touches a file.
  CSVWriter(Configuration configuration, const StreamMaker& makeStream, bool writesMark);
  static Configuration configured(const Configure& configure);

  template <RowRange Rows>
  void writeRows(const Rows& rows) {
    for (auto&& row : rows) writeRow(row);
    endEncoding();
  }
  /// Fails with the field-overflow error when `count` more fields do not fit the row.
  void requireRoom(std::int64_t count) const {
    if (expectedFields_ > 0 && fieldIndex_ + count > expectedFields_) throwFieldOverflow();
  }
  [[noreturn]] void throwFieldOverflow() const;
  // Bytes go to the stream a batch (a field, a row) at a time, with the counters moving only as
  // far as the stream took the bytes: the same results as writing every scalar on its own.
  enum class Effect : std::uint8_t { field, fixCount, row };
  struct Checkpoint {
    std::size_t end;  // the batch's bytes up to here complete the effect
    Effect effect;
  };
  void beginBatch();
  /// After a failed write: applies the effects whose bytes the stream took, and empties the batch.
  void commit(std::size_t written);
  /// Hands the batch to the stream in full.
  void flushBatch();
  /// Hands over the bytes before a failure, then throws it.
  [[noreturn]] void failBatch(const CSVError<CSVWriter>& error);
  void appendField(std::string_view field);
  /// Writes the row, which fits the row.
  void writeCollectedRow(std::span<const std::string_view> fields);
  // The direct way: a row, a field or a row's end formatted right into the stream's room, with
  // the counters moving once it is handed over. They return false, having written nothing, when
  // the stream offers no room or the text needs the general path; only UTF-8 output with a plain
  // field delimiter takes them, and rows in UTF-16 or UTF-32 too (see `wideRows_`).
  bool writeRowDirect(std::span<const std::string_view> fields);
  bool writeFieldDirect(std::string_view field);
  bool endRowDirect();
  /// After the stream refused a direct write: the counters move as the batch's check points
  /// would have had them move for a write that took nothing, and the failure is thrown.
  template <typename AppendBatch>
  [[noreturn]] void failDirect(const AppendBatch& appendBatch);
  /// Formats the field (nothing before it) at `out`, which has room for twice its bytes and two
  /// more, for UTF-8 output with a plain field delimiter; returns the end of its bytes, or null
  /// when the field needs the general path.
  char* formatPlainField(std::string_view field, char* out, const scan16::ShortFields& fields) const;
  [[gnu::noinline]] char* formatStoppedField(std::string_view field, char* out, const scan16::Stops& stops) const;
  void buildShortFields();
  /// Whether the field ends with the start of a delimiter that would then read as if it began in
  /// the field: a non-empty proper prefix of the field delimiter or of a row delimiter of the set.
  bool endsWithDelimiterStart(std::string_view field) const {
    return !field.empty() && prefixEnds_[static_cast<unsigned char>(field.back())] && endsWithPrefix(field);
  }
  bool endsWithPrefix(std::string_view field) const;
  /// Whether ending the row now, `more` fields from now, leaves a row of one empty field, which is
  /// written as two escaping scalars: bare, it would be an empty line, which reading passes over.
  bool oneEmptyField(std::size_t more) const {
    return fieldIndex_ + static_cast<std::int64_t>(more) == 1 && expectedFields_ <= 1 && firstFieldEmpty_ &&
           settings_.escapingScalar;
  }
  /// Appends the field and the delimiter before it (when `delimited`) when every stop in it is
  /// one byte (see `plainEscaping_`) and its text is well formed; otherwise appends nothing and
  /// returns false, leaving the field to `appendEscapedField`. Only when `plainFieldDelimiter_` is set.
  bool appendPlainField(std::string_view field, bool delimited);
  /// Appends a field of ASCII text that needs no escaping in an encoding with a fixed width
  /// for it (ASCII, UTF-16, UTF-32); otherwise appends nothing and returns false.
  bool appendWideASCII(std::string_view field);
  /// Any field, escaped as it needs, in any encoding.
  [[gnu::noinline]] void appendEscapedField(std::string_view field);
  /// The end of the row: padding fields and the row delimiter, or an empty row.
  void appendRowEnd();
  void appendEmptyRow();

  /// A delimiter's bytes; when one of its scalars cannot be encoded, the bytes before it and that scalar.
  struct Piece {
    std::string bytes;
    std::optional<char32_t> failingScalar;
  };
  enum class FieldText { written, invalid, illFormed };
  enum class ByteClass : std::uint8_t { plain, special, multiByte };

  void buildPieces();
  /// Which of the quick ways of writing a field the dialect and the encoding allow.
  void buildQuickPaths();
  void appendPiece(const Piece& piece);
  /// Appends the field's leading bytes that go out unchanged in UTF-8 (well formed, nothing to
  /// escape) to `out_`; returns how many.
  std::size_t appendPlainUTF8(std::string_view field);
  /// Appends the rest of the escaped field to `out_` straight from its UTF-8 bytes, for UTF-8
  /// output, its first `plainLength` bytes being there already; `illFormed` and `invalid` take
  /// the field out again, and `illFormed` leaves it to the scalar path, which replaces the bad bytes.
  FieldText appendUTF8Field(std::string_view field, std::size_t plainLength);
  /// Appends the escaped field to `out_` scalar by scalar, in any encoding. Nothing is appended
  /// for an invalid field; `failingScalar` is the first scalar the encoder refused.
  FieldText appendScalarField(std::string_view field, std::optional<char32_t>& failingScalar);

  Configuration configuration_;
  Settings settings_;
  std::shared_ptr<platform::OutputStream> stream_;
  std::unique_ptr<Encoder> encoder_;
  std::unique_ptr<ByteBuffer> out_;  // the batch's bytes
  std::vector<Checkpoint> checkpoints_;
  std::vector<std::string_view> rowFields_;  // the views of the row being written, at its start
  // The counters once the whole batch is written.
  std::int64_t batchFieldIndex_ = 0;
  std::int64_t batchRowIndex_ = 0;
  std::int64_t batchExpectedFields_ = 0;
  std::u32string scalars_;         // the field being escaped, and its escaped form
  std::u32string escaped_;
  Piece fieldDelimiter_;
  Piece rowDelimiter_;
  Piece emptyField_;  // two escaping scalars
  // The field delimiter and every row delimiter of the set (the written one first): a field holding
  // any of them is escaped.
  std::vector<std::u32string> delimiterScalars_;
  std::vector<std::string> delimitersUTF8_;
  // Their non-empty proper prefixes, and the bytes that may end one.
  std::vector<std::u32string> prefixScalars_;
  std::vector<std::string> prefixesUTF8_;
  std::array<bool, 256> prefixEnds_{};
  bool wordScan_ = false;  // the stops fit `specialWords_`, so fields may be checked a word at a time
  bool utf8Output_ = false;  // fields may then go out as their own bytes
  std::optional<char> plainFieldDelimiter_;  // UTF-8 output's field delimiter when it is one byte
  // UTF-16 or UTF-32 output with a one-byte field delimiter: rows may be formatted as UTF-8 is, then widened.
  bool wideRows_ = false;
  std::unique_ptr<scan16::ShortFields> shortFields_;  // for either of the two
  bool nonASCIIStops_ = false;  // an escaping scalar or delimiter starts beyond ASCII
  // With a one-byte field delimiter: the escaping scalar is one ASCII byte and the row delimiter one
  // or two that hold neither it nor the field delimiter, so fields may be escaped byte by byte.
  bool plainEscaping_ = false;
  std::array<ByteClass, 256> byteClass_{};
  std::array<std::uint64_t, 3> specialWords_{};  // each special ASCII byte repeated eight times
  std::size_t specialWordCount_ = 0;
  // The same bytes, unused places holding 0x80 (flagged anyway as beyond ASCII).
  std::array<std::uint64_t, 3> stopWords_{};
  std::string escapingUTF8_, fieldDelimiterUTF8_, rowDelimiterUTF8_;
  std::int64_t rowIndex_ = 0;
  std::int64_t fieldIndex_ = 0;
  std::int64_t expectedFields_ = 0;
  bool firstFieldEmpty_ = false;  // of the row in progress, once it holds a field
  bool ended_ = false;
};

using CSVWriterError = CSVError<CSVWriter>;

}  // namespace RecordCSV
