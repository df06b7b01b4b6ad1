#include "CSV/CSVReader.hpp"

#include <algorithm>

#include "RowParser.hpp"
#include "ScalarSources.hpp"
#include "platform/text/CanonicalText.hpp"

namespace CSV {

struct CSVReader::State {
  Configuration configuration;
  std::optional<CSVError> error;
  std::optional<Row> headerRow;
  std::optional<Row> currentRow;
  Row spareRow;  // the storage of the last row, kept for the next one
  std::unique_ptr<RowSource> rows;

  State(bool hasHeaderRow, bool trimFields, char32_t delimiter, platform::CharacterSet whitespaces)
      : configuration{hasHeaderRow, trimFields, delimiter, std::move(whitespaces)} {
    configuration.whitespaces.remove(delimiter);
  }

  auto hook() {
    return [this](const CSVError& failure) { error = failure; };
  }

  template <typename Source>
  void start(Source source) {
    rows = std::make_unique<RowParser<Source>>(std::move(source), configuration);
    if (!configuration.hasHeaderRow) return;
    Row header;
    const bool found = rows->readRow(header);
    if (error) throw *error;
    if (!found) throw CSVError::cannotReadHeaderRow();
    headerRow = std::move(header);
  }

  template <typename Codec, typename Units>
  void startDecoding(std::shared_ptr<platform::InputStream> stream, Endian endian) {
    startReading<Codec, Units>(std::make_shared<BinaryReader>(std::move(stream), endian, true, bufferSize,
                                                              sizeof(typename Codec::CodeUnit)));
  }

  template <typename Codec, typename Units>
  void startReading(std::shared_ptr<BinaryReader> reader) {
    Units units(std::move(reader));
    units.setErrorHandler(hook());
    UnicodeIterator<Units, Codec> scalars(std::move(units));
    scalars.setErrorHandler(hook());
    if constexpr (std::is_same_v<Codec, UTF8>)
      start(BufferedUTF8Source(std::move(scalars)));
    else
      start(LiteralSource(std::move(scalars)));
  }
};

CSVReader::CSVReader(std::shared_ptr<platform::InputStream> stream, bool hasHeaderRow, bool trimFields,
                     char32_t delimiter, platform::CharacterSet whitespaces)
    : CSVReader(std::move(stream), UTF8{}, hasHeaderRow, trimFields, delimiter, std::move(whitespaces)) {}

CSVReader::CSVReader(std::shared_ptr<platform::InputStream> stream, UTF8, bool hasHeaderRow, bool trimFields,
                     char32_t delimiter, platform::CharacterSet whitespaces)
    : state_(std::make_unique<State>(hasHeaderRow, trimFields, delimiter, std::move(whitespaces))) {
  state_->startDecoding<UTF8, BinaryReader::UInt8Iterator>(std::move(stream), Endian::unknown);
}

CSVReader::CSVReader(std::shared_ptr<platform::InputStream> stream, UTF16, Endian endian, bool hasHeaderRow,
                     bool trimFields, char32_t delimiter, platform::CharacterSet whitespaces)
    : state_(std::make_unique<State>(hasHeaderRow, trimFields, delimiter, std::move(whitespaces))) {
  state_->startDecoding<UTF16, BinaryReader::UInt16Iterator>(std::move(stream), endian);
}

CSVReader::CSVReader(std::shared_ptr<platform::InputStream> stream, UTF32, Endian endian, bool hasHeaderRow,
                     bool trimFields, char32_t delimiter, platform::CharacterSet whitespaces)
    : state_(std::make_unique<State>(hasHeaderRow, trimFields, delimiter, std::move(whitespaces))) {
  state_->startDecoding<UTF32, BinaryReader::UInt32Iterator>(std::move(stream), endian);
}

CSVReader::CSVReader(platform::Data bytes, UTF8, bool hasHeaderRow, bool trimFields, char32_t delimiter,
                     platform::CharacterSet whitespaces)
    : state_(std::make_unique<State>(hasHeaderRow, trimFields, delimiter, std::move(whitespaces))) {
  state_->startReading<UTF8, BinaryReader::UInt8Iterator>(
      std::make_shared<BinaryReader>(std::move(bytes), Endian::unknown, sizeof(UTF8::CodeUnit)));
}

CSVReader::CSVReader(std::string_view text, bool hasHeaderRow, bool trimFields, char32_t delimiter,
                     platform::CharacterSet whitespaces)
    : state_(std::make_unique<State>(hasHeaderRow, trimFields, delimiter, std::move(whitespaces))) {
  state_->start(TextSource(text));
}

CSVReader::CSVReader(CSVReader&&) noexcept = default;
CSVReader& CSVReader::operator=(CSVReader&&) noexcept = default;
CSVReader::~CSVReader() = default;

const std::optional<CSVReader::Row>& CSVReader::next() {
  State& state = *state_;
  if (!state.currentRow) state.currentRow.emplace(std::move(state.spareRow));
  // After a failure the input is not asked again: the rest of a broken row is no row.
  if (state.error || !state.rows->readRow(*state.currentRow)) {
    state.spareRow = std::move(*state.currentRow);
    state.currentRow.reset();
  }
  return state.currentRow;
}

bool CSVReader::next(Fields& fields) {
  State& state = *state_;
  if (state.currentRow) {
    state.spareRow = std::move(*state.currentRow);
    state.currentRow.reset();
  }
  return !state.error && state.rows->readRow(fields);
}

const CSVReader::Configuration& CSVReader::configuration() const noexcept { return state_->configuration; }
const std::optional<CSVReader::Row>& CSVReader::headerRow() const noexcept { return state_->headerRow; }
const std::optional<CSVReader::Row>& CSVReader::currentRow() const noexcept { return state_->currentRow; }
const std::optional<CSVError>& CSVReader::error() const noexcept { return state_->error; }

std::optional<std::string> CSVReader::operator[](std::string_view name) const {
  const State& state = *state_;
  if (!state.headerRow || !state.currentRow) return std::nullopt;
  const auto header = std::find_if(state.headerRow->begin(), state.headerRow->end(),
                                   [name](const std::string& text) { return platform::canonicallyEqual(text, name); });
  if (header == state.headerRow->end()) return std::nullopt;
  const auto position = static_cast<std::size_t>(header - state.headerRow->begin());
  if (position >= state.currentRow->size()) return std::string();
  return (*state.currentRow)[position];
}

}  // namespace CSV
