#pragma once
// The record encoder: values of any encodable type become CSV bytes, text or a file, whole
// in one call or row by row through `Lazy`. Each encoding works on a snapshot of the
// configuration and the user information taken when it starts, with a writer of its own.
// Encoders and containers handed to a value's encoding must not outlive that encoding.
// Failures of the encoder itself are `CSVError<CSVEncoder>`; errors of the writer, of the
// encoded values and of strategy functions pass through unchanged.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "RecordCSV/CSVError.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/CSVWriter.hpp"
#include "RecordCSV/Strategy.hpp"
#include "platform/coding/Encoder.hpp"
#include "platform/core/Data.hpp"

namespace RecordCSV {

class ShadowEncoderSink;

class CSVEncoder {
 public:
  /// The encoder's settings; the writer's settings can be read and changed through it too.
  struct Configuration {
    CSVWriter::Configuration writerConfiguration;
    Strategy::NilEncoding nilStrategy = Strategy::NilEncoding::empty();
    Strategy::BoolEncoding boolStrategy = Strategy::BoolEncoding::deferredToString();
    Strategy::NonConformingFloat nonConformingFloatStrategy = Strategy::NonConformingFloat::throwing();
    Strategy::DecimalEncoding decimalStrategy = Strategy::DecimalEncoding::locale();
    Strategy::DateEncoding dateStrategy = Strategy::DateEncoding::deferredToDate();
    Strategy::DataEncoding dataStrategy = Strategy::DataEncoding::base64();
    Strategy::EncodingBuffer bufferingStrategy = Strategy::EncodingBuffer::keepAll;

    const std::optional<platform::TextEncoding>& encoding() const noexcept { return writerConfiguration.encoding; }
    void setEncoding(std::optional<platform::TextEncoding> value) { writerConfiguration.encoding = std::move(value); }
    Strategy::BOM bomStrategy() const noexcept { return writerConfiguration.bomStrategy; }
    void setBomStrategy(Strategy::BOM value) { writerConfiguration.bomStrategy = value; }
    const CSVWriter::Configuration::Delimiters& delimiters() const noexcept { return writerConfiguration.delimiters; }
    void setDelimiters(CSVWriter::Configuration::Delimiters value) { writerConfiguration.delimiters = std::move(value); }
    const Strategy::Escaping& escapingStrategy() const noexcept { return writerConfiguration.escapingStrategy; }
    void setEscapingStrategy(Strategy::Escaping value) { writerConfiguration.escapingStrategy = value; }
    const std::vector<std::string>& headers() const noexcept { return writerConfiguration.headers; }
    void setHeaders(std::vector<std::string> value) { writerConfiguration.headers = std::move(value); }
  };
  /// Changes a default configuration in place.
  using Setup = std::function<void(Configuration&)>;

  /// The encoder's failure kinds; the raw values are the error codes.
  enum class Error : std::int64_t { invalidConfiguration = 1, invalidPath = 2, bufferFailure = 4 };
  using Failure = Error;
  static constexpr std::string_view errorDomain = "Encoder";
  static constexpr std::string_view typeName = "CSVEncoder";
  static std::string_view errorDescription(Error failure);
  /// The kind of raw value 1, 2 or 4; nothing for any other.
  static std::optional<Error> errorFromRaw(std::int64_t rawValue);

  /// Header text to position, canonically equivalent texts being one header; two equal
  /// headers fail with the encoder's duplicate-header error.
  static CSVReader::HeaderLookup makeHeaderLookup(const std::vector<std::string>& headers);

  CSVEncoder();
  explicit CSVEncoder(Configuration configuration);
  /// The default configuration as `setup` changes it.
  explicit CSVEncoder(const Setup& setup);
  virtual ~CSVEncoder();
  CSVEncoder(const CSVEncoder&) = default;
  CSVEncoder& operator=(const CSVEncoder&) = default;

  const Configuration& configuration() const noexcept { return configuration_; }
  void setConfiguration(Configuration configuration) { configuration_ = std::move(configuration); }

  // Every field of the configuration and of its writer configuration, by name.
  const CSVWriter::Configuration& writerConfiguration() const noexcept { return configuration_.writerConfiguration; }
  void setWriterConfiguration(CSVWriter::Configuration value) { configuration_.writerConfiguration = std::move(value); }
  const Strategy::NilEncoding& nilStrategy() const noexcept { return configuration_.nilStrategy; }
  void setNilStrategy(Strategy::NilEncoding value) { configuration_.nilStrategy = std::move(value); }
  const Strategy::BoolEncoding& boolStrategy() const noexcept { return configuration_.boolStrategy; }
  void setBoolStrategy(Strategy::BoolEncoding value) { configuration_.boolStrategy = std::move(value); }
  const Strategy::NonConformingFloat& nonConformingFloatStrategy() const noexcept {
    return configuration_.nonConformingFloatStrategy;
  }
  void setNonConformingFloatStrategy(Strategy::NonConformingFloat value) {
    configuration_.nonConformingFloatStrategy = std::move(value);
  }
  const Strategy::DecimalEncoding& decimalStrategy() const noexcept { return configuration_.decimalStrategy; }
  void setDecimalStrategy(Strategy::DecimalEncoding value) { configuration_.decimalStrategy = std::move(value); }
  const Strategy::DateEncoding& dateStrategy() const noexcept { return configuration_.dateStrategy; }
  void setDateStrategy(Strategy::DateEncoding value) { configuration_.dateStrategy = std::move(value); }
  const Strategy::DataEncoding& dataStrategy() const noexcept { return configuration_.dataStrategy; }
  void setDataStrategy(Strategy::DataEncoding value) { configuration_.dataStrategy = std::move(value); }
  Strategy::EncodingBuffer bufferingStrategy() const noexcept { return configuration_.bufferingStrategy; }
  void setBufferingStrategy(Strategy::EncodingBuffer value) { configuration_.bufferingStrategy = value; }
  const std::optional<platform::TextEncoding>& encoding() const noexcept { return configuration_.encoding(); }
  void setEncoding(std::optional<platform::TextEncoding> value) { configuration_.setEncoding(std::move(value)); }
  Strategy::BOM bomStrategy() const noexcept { return configuration_.bomStrategy(); }
  void setBomStrategy(Strategy::BOM value) { configuration_.setBomStrategy(value); }
  const CSVWriter::Configuration::Delimiters& delimiters() const noexcept { return configuration_.delimiters(); }
  void setDelimiters(CSVWriter::Configuration::Delimiters value) { configuration_.setDelimiters(std::move(value)); }
  const Strategy::Escaping& escapingStrategy() const noexcept { return configuration_.escapingStrategy(); }
  void setEscapingStrategy(Strategy::Escaping value) { configuration_.setEscapingStrategy(value); }
  const std::vector<std::string>& headers() const noexcept { return configuration_.headers(); }
  void setHeaders(std::vector<std::string> value) { configuration_.setHeaders(std::move(value)); }

  /// Handed to every encoder of an encoding; a subclass may keep it elsewhere. Every encoding
  /// reads it through `userInfo()`.
  virtual platform::coding::UserInfo userInfo() const { return userInfo_; }
  virtual void setUserInfo(platform::coding::UserInfo userInfo) { userInfo_ = std::move(userInfo); }
  /// Changes a copy read through the getter and writes it back through the setter, so that a
  /// subclass keeping the information elsewhere sees the change.
  virtual void modifyUserInfo(const std::function<void(platform::coding::UserInfo&)>& modify) {
    platform::coding::UserInfo info = userInfo();
    modify(info);
    setUserInfo(std::move(info));
  }

  /// The CSV bytes of `value`.
  template <platform::coding::Encodable T>
  platform::Data encodeToData(const T& value) const {
    const SinkPointer sink = makeSink(std::nullopt, false);
    encodeAt(*sink, std::nullopt, value);
    return finishData(*sink);
  }
  /// The top-level encoding operation: the same as `encodeToData`.
  template <platform::coding::Encodable T>
  platform::Data encode(const T& value) const {
    return encodeToData(value);
  }
  /// The CSV text of `value`, decoded from the configured encoding.
  template <platform::coding::Encodable T>
  std::string encodeToString(const T& value) const {
    const SinkPointer sink = makeSink(std::nullopt, false);
    encodeAt(*sink, std::nullopt, value);
    return finishText(*sink);
  }
  /// Writes the CSV of `value` into the file, replacing it or, with `append`, adding to it.
  /// When the value's encoding fails, what was encoded before the failure is still written.
  template <platform::coding::Encodable T>
  void encodeToFile(const T& value, const std::filesystem::path& fileURL, bool append = false) const {
    const SinkPointer sink = makeSink(fileURL, append);
    encodeAt(*sink, std::nullopt, value);
    finish(*sink);
  }

  template <typename Outcome>
  class Lazy;
  /// Row-by-row encoders into memory, into text and into a file.
  Lazy<platform::Data> lazyToData() const;
  Lazy<std::string> lazyToString() const;
  Lazy<std::filesystem::path> lazyToFile(const std::filesystem::path& fileURL, bool append = false) const;

 private:
  /// Releasing a sink completes its encoding, ignoring any failure.
  struct SinkRelease {
    void operator()(ShadowEncoderSink* sink) const noexcept;
  };
  using SinkPointer = std::unique_ptr<ShadowEncoderSink, SinkRelease>;

  /// A sink over a new writer: into memory without a file, else into the file.
  SinkPointer makeSink(const std::optional<std::filesystem::path>& fileURL, bool append) const;
  /// Runs `encode` with the encoder of the whole output, or of one row.
  static void withEncoder(ShadowEncoderSink& sink, std::optional<std::int64_t> row,
                          platform::coding::FunctionRef<void(platform::coding::Encoder&)> encode);
  template <typename T>
  static void encodeAt(ShadowEncoderSink& sink, std::optional<std::int64_t> row, const T& value) {
    withEncoder(sink, row, [&value](platform::coding::Encoder& encoder) { platform::coding::encodeValue(value, encoder); });
  }
  /// Completes the encoding.
  static void finish(ShadowEncoderSink& sink);
  /// Completes the encoding and gives the memory writer's bytes, or their text.
  static platform::Data finishData(ShadowEncoderSink& sink);
  static std::string finishText(ShadowEncoderSink& sink);
  /// A row of empty fields, each through the nil strategy.
  static void encodeEmptyRow(ShadowEncoderSink& sink, std::int64_t row);

  Configuration configuration_;
  platform::coding::UserInfo userInfo_;
};

using CSVEncoderError = CSVError<CSVEncoder>;

/// Encodes one value per row, in order; `endEncoding()` completes the output and may be
/// repeated. Releasing it completes the output as well, ignoring failures, so a file gets
/// its rows even without `endEncoding()`.
template <typename Outcome>
class CSVEncoder::Lazy {
  static_assert(std::is_same_v<Outcome, platform::Data> || std::is_same_v<Outcome, std::string> ||
                    std::is_same_v<Outcome, std::filesystem::path>,
                "a lazy encoder writes bytes, text or a file");

 public:
  Lazy(Lazy&&) noexcept = default;
  Lazy& operator=(Lazy&&) noexcept = default;

  /// `value` as the next row. When its encoding fails the row index stays, and the fields it
  /// handed over before failing stay handed over.
  template <platform::coding::Encodable T>
  void encodeRow(const T& value) {
    encodeAt(*sink_, currentIndex_, value);
    ++currentIndex_;
  }
  /// A row of empty fields (each through the nil strategy); fails while the number of fields
  /// per row is not yet known.
  void encodeEmptyRow() {
    CSVEncoder::encodeEmptyRow(*sink_, currentIndex_);
    ++currentIndex_;
  }
  /// Completes the output: the bytes, the text, or nothing for a file.
  auto endEncoding() {
    if constexpr (std::is_same_v<Outcome, platform::Data>)
      return finishData(*sink_);
    else if constexpr (std::is_same_v<Outcome, std::string>)
      return finishText(*sink_);
    else
      finish(*sink_);
  }

  /// The index of the next row.
  std::int64_t currentIndex() const noexcept { return currentIndex_; }

 private:
  friend class CSVEncoder;
  explicit Lazy(SinkPointer sink) : sink_(std::move(sink)) {}

  SinkPointer sink_;
  std::int64_t currentIndex_ = 0;
};

}  // namespace RecordCSV
