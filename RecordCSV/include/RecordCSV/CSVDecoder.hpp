#pragma once
// The record decoder: CSV input (a data blob, text, a file or a stream) turned into values
// of any decodable type, whole in one call or row by row through `Lazy`. Each call works
// on a snapshot of the configuration and the user information taken when it starts.
// Decoders and containers handed to a type's decoding must not outlive that decoding.
// Failures of the decoder itself are `CSVError<CSVDecoder>`; errors of the reader, of the
// decoded types and of strategy functions pass through unchanged.

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
#include <system_error>
#include <utility>
#include <vector>

#include "RecordCSV/CSVError.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/coding/Codable.hpp"
#include "platform/core/Data.hpp"
#include "platform/io/InputStream.hpp"

namespace RecordCSV {

class ShadowDecoderSource;

class CSVDecoder {
 public:
  /// The decoder's settings; the reader's settings can be read and changed through it too.
  struct Configuration {
    CSVReader::Configuration readerConfiguration;
    Strategy::NilDecoding nilStrategy = Strategy::NilDecoding::empty();
    Strategy::BoolDecoding boolStrategy = Strategy::BoolDecoding::insensitive();
    Strategy::NonConformingFloat nonConformingFloatStrategy = Strategy::NonConformingFloat::throwing();
    Strategy::DecimalDecoding decimalStrategy = Strategy::DecimalDecoding::locale();
    Strategy::DateDecoding dateStrategy = Strategy::DateDecoding::deferredToDate();
    Strategy::DataDecoding dataStrategy = Strategy::DataDecoding::base64();
    Strategy::DecodingBuffer bufferingStrategy = Strategy::DecodingBuffer::keepAll;

    const std::optional<platform::TextEncoding>& encoding() const noexcept { return readerConfiguration.encoding; }
    void setEncoding(std::optional<platform::TextEncoding> value) { readerConfiguration.encoding = std::move(value); }
    const CSVReader::Configuration::Delimiters& delimiters() const noexcept { return readerConfiguration.delimiters; }
    void setDelimiters(CSVReader::Configuration::Delimiters value) {
      readerConfiguration.delimiters = std::move(value);
    }
    const Strategy::Escaping& escapingStrategy() const noexcept { return readerConfiguration.escapingStrategy; }
    void setEscapingStrategy(Strategy::Escaping value) { readerConfiguration.escapingStrategy = value; }
    const Strategy::Header& headerStrategy() const noexcept { return readerConfiguration.headerStrategy; }
    void setHeaderStrategy(Strategy::Header value) { readerConfiguration.headerStrategy = value; }
    const platform::CharacterSet& trimStrategy() const noexcept { return readerConfiguration.trimStrategy; }
    void setTrimStrategy(platform::CharacterSet value) { readerConfiguration.trimStrategy = std::move(value); }
    bool presample() const noexcept { return readerConfiguration.presample; }
    void setPresample(bool value) { readerConfiguration.presample = value; }
  };
  /// Changes a default configuration in place.
  using Setup = std::function<void(Configuration&)>;

  /// The decoder's failure kinds; the raw values are the error codes.
  enum class Error : std::int64_t { invalidConfiguration = 1, invalidPath = 2, bufferFailure = 4 };
  using Failure = Error;
  static constexpr std::string_view errorDomain = "Decoder";
  static constexpr std::string_view typeName = "CSVDecoder";
  static std::string_view errorDescription(Error failure);
  /// The kind of raw value 1, 2 or 4; nothing for any other.
  static std::optional<Error> errorFromRaw(std::int64_t rawValue);

  /// The default configuration.
  CSVDecoder();
  explicit CSVDecoder(Configuration configuration);
  /// The default configuration as `setup` changes it.
  explicit CSVDecoder(const Setup& setup);
  virtual ~CSVDecoder();
  CSVDecoder(const CSVDecoder&) = default;
  CSVDecoder& operator=(const CSVDecoder&) = default;

  const Configuration& configuration() const noexcept { return configuration_; }
  void setConfiguration(Configuration configuration) { configuration_ = std::move(configuration); }

  // Every field of the configuration and of its reader configuration, by name.
  const CSVReader::Configuration& readerConfiguration() const noexcept { return configuration_.readerConfiguration; }
  void setReaderConfiguration(CSVReader::Configuration value) { configuration_.readerConfiguration = std::move(value); }
  const Strategy::NilDecoding& nilStrategy() const noexcept { return configuration_.nilStrategy; }
  void setNilStrategy(Strategy::NilDecoding value) { configuration_.nilStrategy = std::move(value); }
  const Strategy::BoolDecoding& boolStrategy() const noexcept { return configuration_.boolStrategy; }
  void setBoolStrategy(Strategy::BoolDecoding value) { configuration_.boolStrategy = std::move(value); }
  const Strategy::NonConformingFloat& nonConformingFloatStrategy() const noexcept {
    return configuration_.nonConformingFloatStrategy;
  }
  void setNonConformingFloatStrategy(Strategy::NonConformingFloat value) {
    configuration_.nonConformingFloatStrategy = std::move(value);
  }
  const Strategy::DecimalDecoding& decimalStrategy() const noexcept { return configuration_.decimalStrategy; }
  void setDecimalStrategy(Strategy::DecimalDecoding value) { configuration_.decimalStrategy = std::move(value); }
  const Strategy::DateDecoding& dateStrategy() const noexcept { return configuration_.dateStrategy; }
  void setDateStrategy(Strategy::DateDecoding value) { configuration_.dateStrategy = std::move(value); }
  const Strategy::DataDecoding& dataStrategy() const noexcept { return configuration_.dataStrategy; }
  void setDataStrategy(Strategy::DataDecoding value) { configuration_.dataStrategy = std::move(value); }
  Strategy::DecodingBuffer bufferingStrategy() const noexcept { return configuration_.bufferingStrategy; }
  void setBufferingStrategy(Strategy::DecodingBuffer value) { configuration_.bufferingStrategy = value; }
  const std::optional<platform::TextEncoding>& encoding() const noexcept { return configuration_.encoding(); }
  void setEncoding(std::optional<platform::TextEncoding> value) { configuration_.setEncoding(std::move(value)); }
  const CSVReader::Configuration::Delimiters& delimiters() const noexcept { return configuration_.delimiters(); }
  void setDelimiters(CSVReader::Configuration::Delimiters value) { configuration_.setDelimiters(std::move(value)); }
  const Strategy::Escaping& escapingStrategy() const noexcept { return configuration_.escapingStrategy(); }
  void setEscapingStrategy(Strategy::Escaping value) { configuration_.setEscapingStrategy(value); }
  const Strategy::Header& headerStrategy() const noexcept { return configuration_.headerStrategy(); }
  void setHeaderStrategy(Strategy::Header value) { configuration_.setHeaderStrategy(value); }
  const platform::CharacterSet& trimStrategy() const noexcept { return configuration_.trimStrategy(); }
  void setTrimStrategy(platform::CharacterSet value) { configuration_.setTrimStrategy(std::move(value)); }
  bool presample() const noexcept { return configuration_.presample(); }
  void setPresample(bool value) { configuration_.setPresample(value); }

  /// Handed to every decoder of a call; a subclass may keep it elsewhere. Every call reads it
  /// through `userInfo()`.
  virtual platform::coding::UserInfo userInfo() const { return userInfo_; }
  virtual void setUserInfo(platform::coding::UserInfo userInfo) { userInfo_ = std::move(userInfo); }
  /// By default through the getter and the setter, so that a subclass that keeps the
  /// information elsewhere need not override this too.
  virtual void modifyUserInfo(const std::function<void(platform::coding::UserInfo&)>& modify) {
    platform::coding::UserInfo info = userInfo();
    modify(info);
    setUserInfo(std::move(info));
  }

  /// T decoded from the whole input. The reader's failures to start pass through unchanged.
  template <platform::coding::Decodable T>
  T decode(platform::Data data) const {
    const std::uint64_t bytes = data.size();
    return decodeWhole<T>(makeSource(CSVReader::initWithData(std::move(data), readerConfiguration()), bytes));
  }
  template <platform::coding::Decodable T>
  T decode(std::string text) const {
    const std::uint64_t bytes = text.size();
    return decodeWhole<T>(makeSource(CSVReader::initWithString(std::move(text), readerConfiguration()), bytes));
  }
  // Only an actual path picks the file form, so that text literals keep meaning text.
  template <platform::coding::Decodable T, std::same_as<std::filesystem::path> Path>
  T decode(const Path& fileURL) const {
    std::error_code failure;
    const std::uintmax_t bytes = std::filesystem::file_size(fileURL, failure);
    return decodeWhole<T>(makeSource(CSVReader::initWithURL(fileURL, readerConfiguration()),
                                     failure ? std::nullopt : std::optional<std::uint64_t>(bytes)));
  }
  template <platform::coding::Decodable T>
  T decode(std::shared_ptr<platform::InputStream> stream) const {
    return decodeWhole<T>(makeSource(CSVReader::initWithInputStream(std::move(stream), readerConfiguration())));
  }

  class Lazy;
  /// A row-by-row decoder over the input; the reader's failures to start pass through unchanged.
  Lazy lazy(platform::Data data) const;
  Lazy lazy(std::string text) const;
  template <std::same_as<std::filesystem::path> Path>
  Lazy lazy(const Path& fileURL) const;

 private:
  /// The call's source over `reader`, with copies of the configuration and the user information;
  /// `inputBytes`, the input's size when known, lets a sequence guess its length.
  std::shared_ptr<ShadowDecoderSource> makeSource(CSVReader reader,
                                                  std::optional<std::uint64_t> inputBytes = std::nullopt) const;
  Lazy makeLazy(CSVReader reader) const;
  /// Runs `decode` with the decoder of the whole input, or of one row.
  static void withDecoder(ShadowDecoderSource& source, std::optional<std::int64_t> row,
                          platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode);
  template <typename T>
  static T decodeWhole(const std::shared_ptr<ShadowDecoderSource>& source) {
    return decodeAt<T>(*source, std::nullopt);
  }
  template <typename T>
  static T decodeAt(ShadowDecoderSource& source, std::optional<std::int64_t> row) {
    std::optional<T> value;
    withDecoder(source, row, [&value](platform::coding::Decoder& decoder) {
      value.emplace(platform::coding::decodeValue<T>(decoder));
    });
    return std::move(*value);
  }

  Configuration configuration_;
  platform::coding::UserInfo userInfo_;
};

using CSVDecoderError = CSVError<CSVDecoder>;

/// Decodes the input one row at a time, forward only. Its rows share the input with it, so a
/// row stays decodable after the lazy decoder is gone, as far as the buffering strategy keeps
/// rows. Iterating it moves its one position: every iteration continues where the last stopped.
class CSVDecoder::Lazy {
 public:
  /// One row, decodable as often as wanted while the buffer keeps it.
  class Row {
   public:
    /// No row; decoding it throws std::logic_error.
    Row() = default;

    template <platform::coding::Decodable T>
    T decode() const {
      return decodeAt<T>(checkedSource(), index_);
    }
    /// The row's position: rows are counted from 0 after the header row.
    std::int64_t index() const noexcept { return index_; }
    /// The path of the row's decoder: one index key.
    platform::coding::CodingPath codingPath() const;

   private:
    friend class Lazy;
    Row(std::shared_ptr<ShadowDecoderSource> source, std::int64_t index) : source_(std::move(source)), index_(index) {}
    ShadowDecoderSource& checkedSource() const;

    std::shared_ptr<ShadowDecoderSource> source_;
    std::int64_t index_ = 0;
  };

  class Iterator;

  explicit Lazy(std::shared_ptr<ShadowDecoderSource> source);
  Lazy(Lazy&&) noexcept = default;
  Lazy& operator=(Lazy&&) noexcept = default;

  /// The next row, or nothing at the end. A row whose end check failed is handed out once (its
  /// decoding reports the failure); after it there are no more rows.
  std::optional<Row> next();
  /// T from the next row; throws the decoder's invalidPath error at the end. The row is used
  /// up even when T's decoding fails.
  template <platform::coding::Decodable T>
  T decode() {
    const Row row = takeRow(true);
    return row.decode<T>();
  }
  /// T from the next row, or nothing at the end.
  template <platform::coding::Decodable T>
  std::optional<T> decodeIfPresent() {
    if (isPastEndDroppingFailure()) return std::nullopt;
    const Row row = takeRow(false);
    return row.decode<T>();
  }
  /// Passes over one row; nothing at the end. A failing end check throws and keeps the position.
  void skipRow();

  /// Every remaining row.
  std::vector<Row> toVector();
  /// Up to `buffer.size()` of the remaining rows, written from the front; the number written.
  std::size_t copy(std::span<Row> buffer);

  /// The index of the next row.
  std::int64_t currentIndex() const noexcept { return currentIndex_; }
  /// A sequence's lower bound on its length: rows are only known once read.
  static constexpr std::size_t underestimatedCount() noexcept { return 0; }

  Iterator begin();
  std::default_sentinel_t end() const noexcept { return {}; }

 private:
  bool isPastEndDroppingFailure();
  /// The row at the current index, which then grows; with `checked`, throws at the end.
  Row takeRow(bool checked);

  std::shared_ptr<ShadowDecoderSource> source_;
  std::int64_t currentIndex_ = 0;
  bool failedRowHandedOut_ = false;
};

/// An input iterator over the lazy decoder's rows; all iterators share the decoder's position.
/// A row is taken from the decoder only when it is asked for (read, or compared with the end),
/// so that a view that stops after n rows takes n rows, not n + 1.
class CSVDecoder::Lazy::Iterator {
 public:
  using value_type = Row;
  using difference_type = std::ptrdiff_t;

  Iterator() = default;
  explicit Iterator(Lazy& lazy) : lazy_(&lazy) {}

  const Row& operator*() const { return *current(); }
  const Row* operator->() const { return &*current(); }
  Iterator& operator++() {
    (void)current();
    taken_ = false;
    return *this;
  }
  void operator++(int) { ++*this; }
  friend bool operator==(const Iterator& it, std::default_sentinel_t) { return !it.current(); }

 private:
  const std::optional<Row>& current() const {
    if (!taken_ && lazy_) row_ = lazy_->next();
    taken_ = true;
    return row_;
  }

  Lazy* lazy_ = nullptr;
  mutable std::optional<Row> row_;
  mutable bool taken_ = false;
};

inline CSVDecoder::Lazy::Iterator CSVDecoder::Lazy::begin() { return Iterator(*this); }

template <std::same_as<std::filesystem::path> Path>
CSVDecoder::Lazy CSVDecoder::lazy(const Path& fileURL) const {
  return makeLazy(CSVReader::initWithURL(fileURL, readerConfiguration()));
}

}  // namespace RecordCSV
