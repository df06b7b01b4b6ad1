#include "RecordCSV/CSVWriter.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "platform/core/Unicode.hpp"
#include "platform/io/CheckedFile.hpp"
#include "writer/ByteBuffer.hpp"
#include "writer/WriterEncoder.hpp"
#include "writer/WriterErrors.hpp"
#include "writer/WriterScan.hpp"

namespace RecordCSV {

namespace {

/// The first bytes of the file that `stream` appends to, when it is a regular file; none for
/// a pipe, a FIFO, a device or a file that cannot be read. Read through a descriptor of their
/// own, as the stream's writes only (one opened for both would make a FIFO its own reader).
/// Throws when the location led elsewhere by then: the mark checked is that of the file written.
std::vector<std::uint8_t> appendedFileStart(const platform::OutputStream& stream, const std::filesystem::path& fileURL) {
  struct stat status {};
  if (::fstat(stream.fileDescriptor(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
  try {
    return platform::readStartOfSameFile(stream.fileDescriptor(), fileURL, ByteOrderMark::maximumLength)
        .value_or(std::vector<std::uint8_t>());
  } catch (const std::system_error&) {
    throw WriterErrors::streamNotCreated(fileURL);
  }
}

/// Appending text in one encoding to a file in another corrupts it: a file whose byte-order mark,
/// read as a reader with no configured encoding reads it, is not the one `always` gives the
/// encoding is refused. A file without a mark cannot tell, and neither can a pipe or a device.
/// The stream is opened here, and nothing is written to it unless the check passes.
void requireAppendableEncoding(platform::OutputStream& stream, const std::filesystem::path& fileURL,
                               const platform::TextEncoding& encoding) {
  stream.open();
  if (stream.status() != platform::StreamStatus::open) return;  // the writer reports it
  const std::vector<std::uint8_t> first = appendedFileStart(stream, fileURL);
  const CSVReader::Inference inference = CSVReader::inferEncoding(first, std::nullopt);
  if (!inference.encoding) return;
  const std::vector<std::uint8_t> mark = Strategy::bytes(Strategy::BOM::always, encoding);
  if (std::equal(mark.begin(), mark.end(), first.begin(), first.begin() + inference.markLength)) return;
  throw WriterErrors::appendedEncodingMismatch(fileURL, encoding, *inference.encoding);
}

}  // namespace

CSVWriter::Settings CSVWriter::Settings::make(const Configuration& configuration) {
  auto pair = Delimiter::Scalars::make(configuration.delimiters.field.scalars, configuration.delimiters.row.scalars);
  if (!pair) throw WriterErrors::invalidDelimiters();
  platform::TextEncoding encoding = configuration.encoding.value_or(platform::TextEncoding::utf8());
  if (!Encoder::kindFor(encoding)) throw WriterErrors::unsupportedEncoding(encoding);
  // The row set orders shorter delimiters first, then by scalar values.
  return Settings{{pair->field, *pair->row.begin()},
                  configuration.escapingStrategy.scalar(),
                  configuration.headers,
                  std::move(encoding)};
}

CSVWriter::CSVWriter() : CSVWriter(Configuration()) {}

CSVWriter::CSVWriter(Configuration configuration)
    : CSVWriter(
          std::move(configuration), [](const Settings&) { return platform::OutputStream::toMemory(); }, true) {}

CSVWriter::CSVWriter(const Configure& configure) : CSVWriter(configured(configure)) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append)
    : CSVWriter(fileURL, append, Configuration()) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append, Configuration configuration)
    : CSVWriter(
          std::move(configuration),
          [&](const Settings& settings) {
            auto stream = platform::OutputStream::toFile(fileURL, append);
            if (!stream) throw WriterErrors::streamNotCreated(fileURL);
            if (append) requireAppendableEncoding(*stream, fileURL, settings.encoding);
            return stream;
          },
          !append) {}

CSVWriter::CSVWriter(std::shared_ptr<platform::OutputStream> stream, Configuration configuration)
    : CSVWriter(std::move(configuration), [&](const Settings&) { return std::move(stream); }, true) {}

CSVWriter::CSVWriter(const std::filesystem::path& fileURL, bool append, const Configure& configure)
    : CSVWriter(fileURL, append, configured(configure)) {}

CSVWriter::CSVWriter(Configuration configuration, const StreamMaker& makeStream, bool writesMark)
    : configuration_(std::move(configuration)),
      settings_(Settings::make(configuration_)),
      out_(std::make_unique<ByteBuffer>()) {
  encoder_ = std::make_unique<Encoder>(*Encoder::kindFor(settings_.encoding));
  buildPieces();
  if (!settings_.headers.empty()) {
    // A header row that cannot be written is refused too before any file is touched.
    firstFieldEmpty_ = settings_.headers.front().empty();
    beginBatch();
    for (const std::string& header : settings_.headers) appendField(header);
    appendRowEnd();
    beginBatch();
  }
  stream_ = makeStream(settings_);
  if (!stream_) throw std::invalid_argument("a CSV writer needs an output stream");
  stream_->open();
  if (stream_->status() != platform::StreamStatus::open) throw WriterErrors::streamNotOpen(*stream_);
  if (writesMark) {
    const std::vector<std::uint8_t> mark = Strategy::bytes(configuration_.bomStrategy, settings_.encoding);
    std::size_t written = 0;
    writeFully(*stream_, mark.data(), mark.size(), nullptr, written);
  }
  if (!settings_.headers.empty()) {
    writeFields(settings_.headers);
    endRow();
    rowIndex_ = 0;
  }
}

CSVWriter::~CSVWriter() {
  try {
    endEncoding();
  } catch (...) {
    // Releasing a writer cannot report anything; endEncoding() is the way to learn of failures.
  }
}

CSVWriter::Configuration CSVWriter::configured(const Configure& configure) {
  Configuration configuration;
  if (configure) configure(configuration);
  return configuration;
}

void CSVWriter::buildPieces() {
  auto piece = [&](const std::u32string& scalars) {
    Piece result;
    ByteBuffer bytes;
    const std::size_t encoded = encoder_->encode(scalars.data(), scalars.size(), bytes);
    result.bytes.assign(bytes.data() ? bytes.data() : "", bytes.size());
    if (encoded < scalars.size()) result.failingScalar = scalars[encoded];
    return result;
  };
  utf8Output_ = encoder_->kind() == Encoder::Kind::utf8;
  fieldDelimiter_ = piece(settings_.delimiters.field);
  rowDelimiter_ = piece(settings_.delimiters.row);
  const std::optional<char32_t> escaping = settings_.escapingScalar;
  if (escaping) emptyField_ = piece(std::u32string(2, *escaping));

  // The written row delimiter is the set's first member.
  delimiterScalars_.push_back(settings_.delimiters.field);
  delimiterScalars_.insert(delimiterScalars_.end(), configuration_.delimiters.row.scalars.begin(),
                           configuration_.delimiters.row.scalars.end());
  for (const std::u32string& delimiter : delimiterScalars_) {
    delimitersUTF8_.push_back(platform::toUTF8(delimiter));
    for (std::size_t length = 1; length < delimiter.size(); ++length) {
      std::u32string prefix = delimiter.substr(0, length);
      if (std::find(prefixScalars_.begin(), prefixScalars_.end(), prefix) != prefixScalars_.end()) continue;
      prefixesUTF8_.push_back(platform::toUTF8(prefix));
      prefixEnds_[static_cast<unsigned char>(prefixesUTF8_.back().back())] = true;
      prefixScalars_.push_back(std::move(prefix));
    }
  }
  if (escaping) platform::appendUTF8(escapingUTF8_, *escaping);
  buildQuickPaths();
}

void CSVWriter::buildQuickPaths() {
  // A byte that may start an escaping scalar or a delimiter sends a UTF-8 field the general path.
  byteClass_.fill(ByteClass::plain);
  for (std::size_t byte = 0x80; byte < 0x100; ++byte) byteClass_[byte] = ByteClass::multiByte;
  fieldDelimiterUTF8_ = delimitersUTF8_[0];
  rowDelimiterUTF8_ = delimitersUTF8_[1];
  // A row delimiter that holds another one of the set is found through that one, unless it holds
  // the escaping scalar, which the escaping walk would double inside it; so the quick checks stop
  // only at the first bytes of the others.
  const auto holdsAnother = [&](const std::string& member) {
    if (!escapingUTF8_.empty() && member.find(escapingUTF8_) != std::string::npos) return false;
    return std::any_of(delimitersUTF8_.begin() + 1, delimitersUTF8_.end(), [&](const std::string& other) {
      return other.size() < member.size() && member.find(other) != std::string::npos;
    });
  };
  std::size_t stopCount = 0;
  std::array<bool, 256> stops{};
  bool onlyWrittenRow = true;  // no row delimiter of the set needs a look of its own
  for (std::size_t i = 0; i <= delimitersUTF8_.size(); ++i) {
    const std::string& text = i == 0 ? escapingUTF8_ : delimitersUTF8_[i - 1];
    if (text.empty()) continue;
    const auto first = static_cast<unsigned char>(text.front());
    byteClass_[first] = ByteClass::special;
    const bool stop = i <= 2 || !holdsAnother(text);
    if (i > 2 && stop) onlyWrittenRow = false;
    if (!stop || stops[first]) continue;
    stops[first] = true;
    if (first >= 0x80) {
      nonASCIIStops_ = true;
    } else if (stopCount++ < specialWords_.size()) {
      specialWords_[specialWordCount_++] = 0x0101010101010101 * first;
    }
  }
  wordScan_ = stopCount <= specialWords_.size();
  const bool oneByteDelimiter = fieldDelimiterUTF8_.size() == 1;
#if defined(__SSE2__) && !defined(PZ_PORTABLE_SCAN)
  // Without the vector unit every field takes the general path, and so does every field when the
  // stops are too many for the vector checks.
  if (wordScan_ && utf8Output_ && fieldDelimiter_.bytes.size() == 1 && !fieldDelimiter_.failingScalar)
    plainFieldDelimiter_ = fieldDelimiter_.bytes.front();
  // UTF-16 and UTF-32 encode every scalar, so their rows can be formatted in UTF-8 and widened.
  wideRows_ = wordScan_ && oneByteDelimiter && encoder_->unitsPerByte() > 0;
#endif
  auto ascii = [](const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  plainEscaping_ = onlyWrittenRow && oneByteDelimiter && escapingUTF8_.size() == 1 && ascii(escapingUTF8_) &&
                   escapingUTF8_[0] != fieldDelimiterUTF8_[0] && ascii(rowDelimiterUTF8_) &&
                   (rowDelimiterUTF8_.size() == 1 || rowDelimiterUTF8_.size() == 2) &&
                   rowDelimiterUTF8_.find(escapingUTF8_[0]) == std::string::npos &&
                   rowDelimiterUTF8_.find(fieldDelimiterUTF8_[0]) == std::string::npos;
  stopWords_.fill(0x8080808080808080);
  std::copy_n(specialWords_.begin(), specialWordCount_, stopWords_.begin());
  if (plainFieldDelimiter_ || wideRows_) buildShortFields();
}

bool CSVWriter::endsWithPrefix(std::string_view field) const {
  return std::any_of(prefixesUTF8_.begin(), prefixesUTF8_.end(),
                     [&](const std::string& prefix) { return field.ends_with(prefix); });
}

void CSVWriter::throwFieldOverflow() const { throw WriterErrors::fieldOverflow(expectedFields_); }

void CSVWriter::beginBatch() {
  out_->clear();
  checkpoints_.clear();
  batchFieldIndex_ = fieldIndex_;
  batchRowIndex_ = rowIndex_;
  batchExpectedFields_ = expectedFields_;
}

void CSVWriter::commit(std::size_t written) {
  for (const Checkpoint& checkpoint : checkpoints_) {
    if (checkpoint.end > written) break;
    switch (checkpoint.effect) {
      case Effect::field: ++fieldIndex_; break;
      case Effect::fixCount:
        if (expectedFields_ == 0) expectedFields_ = fieldIndex_;
        break;
      case Effect::row:
        ++rowIndex_;
        fieldIndex_ = 0;
        break;
    }
  }
  checkpoints_.clear();
  out_->clear();
}

void CSVWriter::flushBatch() {
  std::size_t written = 0;
  try {
    writeFully(*stream_, reinterpret_cast<const std::uint8_t*>(out_->data()), out_->size(), encoder_.get(), written);
  } catch (...) {
    commit(written);
    throw;
  }
  // Everything went out: the counters take the values the batch reached.
  fieldIndex_ = batchFieldIndex_;
  rowIndex_ = batchRowIndex_;
  expectedFields_ = batchExpectedFields_;
  checkpoints_.clear();
  out_->clear();
}

void CSVWriter::failBatch(const CSVWriterError& error) {
  if (stream_) flushBatch();  // no stream yet while the header row is tried out
  throw error;
}

void CSVWriter::appendRowEnd() {
  if (batchFieldIndex_ == 0) {
    appendEmptyRow();
    return;
  }
  // The first completed row fixes the count, once its fields are out.
  const std::int64_t expected = expectedFields_ > 0 ? expectedFields_ : batchFieldIndex_;
  checkpoints_.push_back({out_->size(), Effect::fixCount});
  batchExpectedFields_ = expected;
  if (expected == 1 && firstFieldEmpty_ && settings_.escapingScalar) appendPiece(emptyField_);
  for (; batchFieldIndex_ < expected; ++batchFieldIndex_) {
    appendPiece(fieldDelimiter_);
    checkpoints_.push_back({out_->size(), Effect::field});
  }
  appendPiece(rowDelimiter_);
  checkpoints_.push_back({out_->size(), Effect::row});
  batchFieldIndex_ = 0;
  ++batchRowIndex_;
}

void CSVWriter::appendEmptyRow() {
  if (expectedFields_ == 0) failBatch(WriterErrors::emptyRowWithoutFieldCount());
  if (expectedFields_ == 1 && settings_.escapingScalar) appendPiece(emptyField_);
  for (std::int64_t i = 1; i < expectedFields_; ++i) appendPiece(fieldDelimiter_);
  appendPiece(rowDelimiter_);
  checkpoints_.push_back({out_->size(), Effect::row});
  batchFieldIndex_ = 0;
  ++batchRowIndex_;
}

void CSVWriter::endRow() {
  if (endRowDirect()) return;
  beginBatch();
  appendRowEnd();
  flushBatch();
}

void CSVWriter::writeEmptyRow() {
  beginBatch();
  appendEmptyRow();
  flushBatch();
}

void CSVWriter::endEncoding() {
  if (ended_) return;
  if (fieldIndex_ > 0) endRow();
  ended_ = true;
  stream_->close();
  // A buffered file hands over its last bytes only now; losing them is a failure, not success.
  if (stream_->status() == platform::StreamStatus::error) throw WriterErrors::writeFailed(*stream_);
}

platform::Data CSVWriter::data() const {
  if (stream_->status() != platform::StreamStatus::closed) throw WriterErrors::memoryStreamOpen(*stream_);
  std::optional<platform::Data> bytes = stream_->dataWrittenToMemory();
  if (!bytes) throw WriterErrors::noMemoryData(*stream_);
  return std::move(*bytes);
}

}  // namespace RecordCSV
