#include "RecordCSV/CSVDecoder.hpp"

#include <stdexcept>

#include "RecordCSV/CodingKeys.hpp"
#include "decoder/ShadowDecoder.hpp"

namespace RecordCSV {

std::string_view CSVDecoder::errorDescription(Error failure) {
  switch (failure) {
    case Error::invalidConfiguration:
      return "Invalid configuration";
    case Error::invalidPath:
      return "Invalid path";
    case Error::bufferFailure:
      return "Invalid buffer state";
  }
  return "Unknown failure";
}

std::optional<CSVDecoder::Error> CSVDecoder::errorFromRaw(std::int64_t rawValue) {
  for (const Error kind : {Error::invalidConfiguration, Error::invalidPath, Error::bufferFailure})
    if (static_cast<std::int64_t>(kind) == rawValue) return kind;
  return std::nullopt;
}

CSVDecoder::CSVDecoder() : CSVDecoder(Configuration{}) {}

CSVDecoder::CSVDecoder(Configuration configuration) : configuration_(std::move(configuration)) {}

CSVDecoder::CSVDecoder(const Setup& setup)
    : CSVDecoder([&setup] {
        Configuration configuration;
        if (setup) setup(configuration);
        return configuration;
      }()) {}

CSVDecoder::~CSVDecoder() = default;

std::shared_ptr<ShadowDecoderSource> CSVDecoder::makeSource(CSVReader reader,
                                                        std::optional<std::uint64_t> inputBytes) const {
  return std::make_shared<ShadowDecoderSource>(std::move(reader), configuration_, userInfo(), inputBytes);
}

void CSVDecoder::withDecoder(ShadowDecoderSource& source, std::optional<std::int64_t> row,
                             platform::coding::FunctionRef<void(platform::coding::Decoder&)> decode) {
  platform::coding::CodingPath path;
  if (row) path.push_back(platform::coding::CodingKey(IndexKey(*row)));
  ShadowDecoder decoder(source, std::move(path), true);
  decode(decoder);
}

CSVDecoder::Lazy CSVDecoder::makeLazy(CSVReader reader) const { return Lazy(makeSource(std::move(reader))); }

CSVDecoder::Lazy CSVDecoder::lazy(platform::Data data) const {
  return makeLazy(CSVReader::initWithData(std::move(data), readerConfiguration()));
}

CSVDecoder::Lazy CSVDecoder::lazy(std::string text) const {
  return makeLazy(CSVReader::initWithString(std::move(text), readerConfiguration()));
}

platform::coding::CodingPath CSVDecoder::Lazy::Row::codingPath() const {
  return {platform::coding::CodingKey(IndexKey(index_))};
}

ShadowDecoderSource& CSVDecoder::Lazy::Row::checkedSource() const {
  if (!source_) throw std::logic_error("A default-made row of a lazy decoder has nothing to decode.");
  return *source_;
}

CSVDecoder::Lazy::Lazy(std::shared_ptr<ShadowDecoderSource> source) : source_(std::move(source)) {}

bool CSVDecoder::Lazy::isPastEndDroppingFailure() {
  try {
    return source_->isPastEnd(currentIndex_);
  } catch (...) {
    // The row is handed out all the same; decoding it reports the failure.
    return false;
  }
}

CSVDecoder::Lazy::Row CSVDecoder::Lazy::takeRow(bool checked) {
  if (checked && isPastEndDroppingFailure())
    throw CSVDecoderError(Error::invalidPath, "There are no more rows to decode. The file is at the end.",
                          "Use next() or decodeIfPresent(_:) instead of decode(_:) if you are unsure where the file "
                          "ends.");
  return Row(source_, currentIndex_++);
}

std::optional<CSVDecoder::Lazy::Row> CSVDecoder::Lazy::next() {
  // Once the reader has failed every later check fails alike, so one failing row ends the iteration.
  if (failedRowHandedOut_) return std::nullopt;
  try {
    if (source_->isPastEnd(currentIndex_)) return std::nullopt;
  } catch (...) {
    failedRowHandedOut_ = true;
  }
  return Row(source_, currentIndex_++);
}

void CSVDecoder::Lazy::skipRow() {
  if (!source_->isPastEnd(currentIndex_)) ++currentIndex_;
}

std::vector<CSVDecoder::Lazy::Row> CSVDecoder::Lazy::toVector() {
  std::vector<Row> rows;
  while (std::optional<Row> row = next()) rows.push_back(std::move(*row));
  return rows;
}

std::size_t CSVDecoder::Lazy::copy(std::span<Row> buffer) {
  std::size_t written = 0;
  while (written < buffer.size()) {
    std::optional<Row> row = next();
    if (!row) break;
    buffer[written++] = std::move(*row);
  }
  return written;
}

}  // namespace RecordCSV
