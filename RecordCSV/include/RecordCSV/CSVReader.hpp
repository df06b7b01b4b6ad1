#pragma once
// The streaming CSV reader: delimited text from a text value or a data blob,
// row by row, record by record, or whole into a file view.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "RecordCSV/CSVError.hpp"
#include "RecordCSV/Delimiter.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/InputStream.hpp"
#include "platform/text/CharacterSet.hpp"
#include "platform/text/TextEncoding.hpp"

namespace RecordCSV {

class UTF8Source;
class ByteSource;
class FieldTable;
class Parser;
class RowStore;

class CSVReader {
 public:
  /// The caller's description of the dialect to read.
  struct Configuration {
    using Delimiters = Delimiter::Pair;

    /// The input's encoding; inferred from the byte-order mark when absent.
    std::optional<platform::TextEncoding> encoding;
    Delimiters delimiters;
    Strategy::Escaping escapingStrategy = Strategy::Escaping::standard();
    Strategy::Header headerStrategy = Strategy::Header::none();
    /// Skipped at the start of fields, removed from the end of unescaped ones.
    platform::CharacterSet trimStrategy;
    /// Take byte input whole before parsing.
    bool presample = false;

    friend bool operator==(const Configuration&, const Configuration&) = default;
  };
  /// Changes a default configuration in place.
  using Configure = std::function<void(Configuration&)>;
  /// The default configuration as `configure` changes it; an empty procedure changes nothing.
  static Configuration configured(const Configure& configure);

  /// The reader's failure kinds; the raw values are the error codes.
  enum class Error : std::int64_t { invalidConfiguration = 1, invalidInput = 2, streamFailure = 4 };
  using Failure = Error;
  static constexpr std::string_view errorDomain = "Reader";
  static constexpr std::string_view typeName = "CSVReader";
  static std::string_view errorDescription(Error failure);

  /// Why the reader failed, finer than the error kind, for callers that answer each cause its own way.
  enum class Reason : std::uint8_t {
    none,
    configuration,  // a setting the reader refuses
    unsupportedEncoding,
    markConflict,  // the configured encoding contradicts the byte-order mark
    unreadableInput,  // a file or stream that could not be read
    // The text, at a row.
    strayQualifier,  // the escaping scalar inside an unescaped field
    unclosedQualifier,
    textAfterQualifiedField,
    carriageReturnAfterQualifiedField,
    fieldCount,
    emptyHeaderLine,
    duplicateHeaders,
    // The bytes, which are not in the encoding they are read in.
    notASCII,
    invalidUTF8,
    invalidUTF16,
    invalidUTF32,
    incompleteUTF16,
    incompleteUTF32,
    encodingMismatch,  // a blob converted whole
  };
  /// Why, and where when the failure is about the input: `rowStart` is where the failing row begins
  /// in the text the reader decoded (what `decodedText` gives), `wrongByte` where the first byte that
  /// cannot be decoded lies in the input as given, byte-order mark included.
  struct Fault {
    Reason reason = Reason::none;
    std::optional<std::uint64_t> rowStart;
    std::optional<std::uint64_t> wrongByte;

    /// About the text at a row, which `rowStart` then names.
    bool concernsRow() const noexcept { return reason >= Reason::strayQualifier && reason <= Reason::duplicateHeaders; }
    /// About bytes that are not in the encoding they are read in, which `wrongByte` then names where it is known.
    bool isDecoding() const noexcept { return reason >= Reason::notASCII; }
    friend bool operator==(const Fault&, const Fault&) = default;
  };

  /// A configuration once validated; fixed for the reader's life.
  struct Settings {
    Delimiter::Scalars delimiters;
    std::optional<char32_t> escapingScalar;
    platform::CharacterSet trimCharacters;
    bool isTrimNeeded = false;

    /// Throws the reader's invalidConfiguration error on the first rule the configuration breaks.
    explicit Settings(const Configuration& configuration);
  };

  /// Where the reader is in its life; a failed reader keeps the error that stopped it.
  class Status;
  /// Rows read so far (a header row counts as one) and the number of fields every row must have.
  struct Count {
    std::int64_t rows = 0;
    std::int64_t fields = 0;
    friend bool operator==(const Count&, const Count&) = default;
  };

  class HeaderLookup;
  class Row;
  class Record;
  class FileView;

  /// Reads from decoded text; throws the reader's error when the configuration is invalid
  /// or the header row cannot be read.
  CSVReader(Configuration configuration, std::unique_ptr<UTF8Source> source);
  ~CSVReader();
  CSVReader(CSVReader&&) noexcept;
  CSVReader& operator=(CSVReader&&) noexcept;

  /// A reader over a text's scalars; encoding and presample are not consulted.
  static CSVReader initWithString(std::string text, Configuration configuration);
  static CSVReader initWithString(std::string text, const Configure& configure);
  /// A reader over a data blob, decoded by the configured encoding or the one its byte-order mark names.
  static CSVReader initWithData(platform::Data data, Configuration configuration);
  static CSVReader initWithData(platform::Data data, const Configure& configure);
  /// A reader over a file: with `presample` read whole first, otherwise decoded while it is read.
  static CSVReader initWithURL(const std::filesystem::path& fileURL, Configuration configuration);
  static CSVReader initWithURL(const std::filesystem::path& fileURL, const Configure& configure);
  /// A reader over a stream that is not yet open: with `presample` read whole first (and closed),
  /// otherwise read at most 1024 bytes at a time while parsing. The reader closes the stream
  /// once: at the end of the input, after a failed read, or when it is released.
  static CSVReader initWithInputStream(std::shared_ptr<platform::InputStream> stream, Configuration configuration);
  static CSVReader initWithInputStream(std::shared_ptr<platform::InputStream> stream, const Configure& configure);

  /// The whole input as a file view.
  static FileView decode(std::string_view text, const Configuration& configuration);
  static FileView decode(std::string_view text, const Configure& configure);
  static FileView decode(const platform::Data& data, const Configuration& configuration);
  static FileView decode(const platform::Data& data, const Configure& configure);
  /// A blob the view may share: rows that need no unescaping refer to its bytes instead of
  /// copies, so the blob must not change while the view or a record from it lives.
  static FileView decode(std::shared_ptr<const platform::Data> data, const Configuration& configuration);
  // Only an actual path picks the file form, so that text literals keep meaning text.
  template <std::same_as<std::filesystem::path> Path>
  static FileView decode(const Path& fileURL, const Configuration& configuration);
  template <std::same_as<std::filesystem::path> Path>
  static FileView decode(const Path& fileURL, const Configure& configure);
  static FileView decode(std::shared_ptr<platform::InputStream> stream, const Configuration& configuration);
  static FileView decode(std::shared_ptr<platform::InputStream> stream, const Configure& configure);

  const Configuration& configuration() const noexcept { return configuration_; }
  const Settings& settings() const noexcept { return *settings_; }
  /// The header row, empty when there is none.
  const std::vector<std::string>& headers() const noexcept { return headers_; }
  const Count& count() const noexcept { return count_; }
  const Status& status() const noexcept { return *status_; }
  /// For a decoder that reads through this reader and ends or fails it on its own terms.
  void setStatus(Status status);
  /// The zero-based index of the next data row.
  std::int64_t rowIndex() const noexcept { return count_.rows - (headers_.empty() ? 0 : 1); }
  /// How many rows the reader has cut from its input: those skipped before the header, the
  /// header, the empty lines it passed over and the rows it gave.
  std::int64_t rowsCut() const noexcept { return skippedRows_ + count_.rows + emptyLines_; }
  /// Where the header, or the row that `readRow` or `readRecord` gave last, begins in the decoded text.
  std::uint64_t lastRowStart() const noexcept;

  /// The next row, or nothing once the input is finished; a failure is kept and thrown again on every later read.
  std::optional<std::vector<std::string>> readRow();
  /// The next row appended to `table` (which keeps what it held), with the same effects on
  /// `count()` and `status()` as `readRow()`; false once the input is finished. A failed read
  /// leaves `table` as it was.
  bool readRow(FieldTable& table) { return appendRow(table); }
  /// The next row with the header lookup, or nothing once the input is finished.
  std::optional<Record> readRecord();
  /// Everything left, as a file view.
  FileView readFileView();

  /// Rows until the input ends or a row fails; a failure stays in `status()`.
  class Iterator;
  Iterator begin();
  std::default_sentinel_t end() const noexcept { return {}; }

  /// The encoding whose byte-order mark begins `firstBytes` (up to four bytes) and the mark's length.
  /// FF FE 00 00 is the UTF-16 little-endian mark when `provided` is UTF-16 or UTF-16LE, else UTF-32LE.
  struct Inference {
    std::optional<platform::TextEncoding> encoding;
    std::size_t markLength = 0;
  };
  static Inference inferEncoding(std::span<const std::uint8_t> firstBytes,
                                 const std::optional<platform::TextEncoding>& provided);
  /// The encoding to decode with; throws when the configured one conflicts with the mark.
  static platform::TextEncoding resolveEncoding(const std::optional<platform::TextEncoding>& provided,
                                                const std::optional<platform::TextEncoding>& inferred);
  /// Decoded text from bytes in the given Unicode encoding (or ASCII); throws for any other encoding.
  /// `firstByte` is where the bytes begin in the input (after a byte-order mark), for the offset of a wrong byte.
  static std::unique_ptr<UTF8Source> makeDecoder(std::unique_ptr<ByteSource> bytes,
                                                 const platform::TextEncoding& encoding, std::uint64_t firstByte = 0);
  /// A blob converted in one piece by the encoding's converter, a leading mark of that encoding dropped;
  /// throws the mismatch error when the bytes are not in that encoding.
  static std::string convertWhole(std::span<const std::uint8_t> bytes, const platform::TextEncoding& encoding);

  /// The text that a reader of `data` under `configuration` parses, as it decodes it: a leading
  /// byte-order mark dropped, and up to the first place it cannot decode. A view of `data` where
  /// that is the text, else of `storage`; nothing when the configuration refuses the input.
  static std::optional<std::string_view> decodedText(const platform::Data& data, const Configuration& configuration,
                                                     std::string& storage);

  /// Header text to position; `makeError()` makes the error thrown when two headers are equal.
  template <typename MakeError>
  static HeaderLookup makeHeaderLookup(const std::vector<std::string>& headers, MakeError&& makeError);

 private:
  /// The stream path: the byte-order mark from the first bytes, then decoding while reading.
  static CSVReader initStreaming(std::shared_ptr<platform::InputStream> stream, Configuration configuration);
  static CSVReader overBytes(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> owner,
                             Configuration configuration);
  /// The decoded text of `bytes` as a reader under `configuration` reads it.
  static std::unique_ptr<UTF8Source> sourceOverBytes(std::span<const std::uint8_t> bytes,
                                                     std::shared_ptr<const void> owner,
                                                     const Configuration& configuration);
  void readHeader();
  /// Appends the next accepted row to `table`; false once the input is finished.
  bool appendRow(FieldTable& table);
  /// Adds the next accepted row to `store`, as a slice when the parser can keep it as one.
  bool appendSliceOrRow(RowStore& store);
  /// Counts a parsed data row of `fields` fields, or fails when it has not as many as the first.
  void countRow(std::int64_t fields, std::uint64_t rowStart);
  void fail(const CSVError<CSVReader>& error);
  /// Fails with `error`, a parse error of the row that begins at `rowStart` or an error of the input.
  [[noreturn]] void failAt(const CSVError<CSVReader>& error, std::uint64_t rowStart);
  std::shared_ptr<const HeaderLookup> lookup();

  Configuration configuration_;
  std::unique_ptr<Settings> settings_;
  std::vector<std::string> headers_;
  std::shared_ptr<const HeaderLookup> headerLookup_;
  std::unique_ptr<Parser> parser_;
  std::unique_ptr<FieldTable> rowTable_;  // what readRow() reads into, kept for the next row
  Count count_;
  std::int64_t skippedRows_ = 0;
  std::int64_t emptyLines_ = 0;
  std::uint64_t headerStart_ = 0;
  std::unique_ptr<Status> status_;
};

using CSVReaderError = CSVError<CSVReader>;

class CSVReader::Status {
 public:
  enum class Kind { failed, active, finished };

  static Status active() { return Status(Kind::active, nullptr); }
  static Status finished() { return Status(Kind::finished, nullptr); }
  static Status failed(const CSVReaderError& error) {
    return Status(Kind::failed, std::make_shared<const CSVReaderError>(error));
  }

  Kind kind() const noexcept { return kind_; }
  /// The error that stopped the reader; null unless failed.
  const CSVReaderError* error() const noexcept { return error_.get(); }

 private:
  Status(Kind kind, std::shared_ptr<const CSVReaderError> error) : kind_(kind), error_(std::move(error)) {}
  Kind kind_;
  std::shared_ptr<const CSVReaderError> error_;
};

/// Header text to column position. Headers that are canonically equivalent are the same key.
class CSVReader::HeaderLookup {
 public:
  HeaderLookup() = default;
  /// Nothing when two headers are equal.
  static std::optional<HeaderLookup> make(const std::vector<std::string>& headers);

  std::optional<std::size_t> find(std::string_view header) const;
  bool empty() const noexcept { return positions_.empty(); }
  std::size_t size() const noexcept { return positions_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> positions_;
};

template <typename MakeError>
CSVReader::HeaderLookup CSVReader::makeHeaderLookup(const std::vector<std::string>& headers, MakeError&& makeError) {
  std::optional<HeaderLookup> lookup = HeaderLookup::make(headers);
  if (!lookup) throw makeError();
  return std::move(*lookup);
}

class CSVReader::Iterator {
 public:
  using value_type = std::vector<std::string>;
  using difference_type = std::ptrdiff_t;

  Iterator() = default;
  explicit Iterator(CSVReader& reader) : reader_(&reader) { ++*this; }
  const value_type& operator*() const { return row_; }
  const value_type* operator->() const { return &row_; }
  Iterator& operator++();
  void operator++(int) { ++*this; }
  friend bool operator==(const Iterator& it, std::default_sentinel_t) { return it.reader_ == nullptr; }

 private:
  CSVReader* reader_ = nullptr;
  value_type row_;
};

inline CSVReader::Iterator CSVReader::begin() { return Iterator(*this); }

}  // namespace RecordCSV

#include "RecordCSV/FileView.hpp"

namespace RecordCSV {

template <std::same_as<std::filesystem::path> Path>
CSVReader::FileView CSVReader::decode(const Path& fileURL, const Configuration& configuration) {
  return initWithURL(fileURL, configuration).readFileView();
}

template <std::same_as<std::filesystem::path> Path>
CSVReader::FileView CSVReader::decode(const Path& fileURL, const Configure& configure) {
  return initWithURL(fileURL, configure).readFileView();
}

}  // namespace RecordCSV
