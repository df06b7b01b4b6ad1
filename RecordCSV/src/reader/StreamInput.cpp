// The reader's file and stream inputs: whole reads for `presample`, and otherwise a
// byte source that reads the stream block by block while the parser asks for text.

#include <array>
#include <stdexcept>
#include <vector>

#include "RecordCSV/ByteOrderMark.hpp"
#include "RecordCSV/CSVReader.hpp"
#include "RecordCSV/UTF8Source.hpp"

namespace RecordCSV {
namespace {

using Kind = CSVReader::Error;
using platform::StreamStatus;

CSVReaderError unreadable(CSVReaderError error) {
  error.withFault({CSVReader::Reason::unreadableInput, std::nullopt, std::nullopt});
  return error;
}

/// Bytes per read when a stream or file is read whole.
constexpr std::size_t wholeReadChunk = 1024;
/// Bytes per read while parsing.
constexpr std::size_t streamBufferCapacity = 1024;

CSVReaderError fileNotRead(const std::filesystem::path& fileURL, std::exception_ptr underlying) {
  platform::UserInfo info;
  info.add("File URL", fileURL.string());
  return unreadable({Kind::invalidInput, "The file under the given URL couldn't be read.",
                     "Make sure the URL is valid and you are allowed to access the file.", std::move(info),
                     std::move(underlying)});
}

CSVReaderError streamNotCreated(const std::filesystem::path& fileURL) {
  platform::UserInfo info;
  info.add("File URL", fileURL.string());
  return unreadable({Kind::streamFailure, "Creating an input stream to the given file URL failed.",
                     "Make sure the URL is valid and you are allowed to access the file. Alternatively set the "
                     "configuration's presample or load the file in a data blob and use the reader's data initializer.",
                     std::move(info)});
}

CSVReaderError wholeStreamNotRead(const platform::InputStream& stream, std::exception_ptr underlying) {
  platform::UserInfo info;
  info.add("Input stream", stream.description());
  return unreadable({Kind::streamFailure, "The provided input stream could not be read in its entirety.",
                     "Make sure there is data in the input stream and that you have access to it.", std::move(info),
                     std::move(underlying)});
}

/// A failed stream read: of the first bytes (looking for a mark) or of later ones.
CSVReaderError readFailed(const platform::InputStream& stream, bool firstBytes, StreamStatus status,
                          std::exception_ptr underlying) {
  platform::UserInfo info;
  info.add("Stream status", status);
  CSVReaderError error(Kind::streamFailure,
                       firstBytes ? "The input stream encountered an error while trying to read the first bytes."
                                  : "The input stream encountered an error while trying to read input bytes.",
                       "Review the internal error and make sure you have access to the input data.", std::move(info),
                       std::move(underlying));
  error.namingStream(stream);
  return unreadable(std::move(error));
}

void requireStream(const std::shared_ptr<platform::InputStream>& stream) {
  if (!stream) throw std::invalid_argument("a CSV reader needs an input stream");
}

/// Opens the stream and reads it to its end, then closes it. A failed read is a failure even when
/// the stream names no error: a blob cut short must not pass for the whole input.
std::optional<platform::Data> readWholeStream(platform::InputStream& stream, std::size_t chunk,
                                              std::exception_ptr& failure) {
  stream.open();
  std::vector<std::uint8_t> scratch(chunk);
  platform::Data blob;
  while (stream.hasBytesAvailable()) {
    const std::ptrdiff_t count = stream.read(scratch.data(), chunk);
    if (count > 0) {
      blob.append(scratch.data(), static_cast<std::size_t>(count));
    } else if (count == 0) {
      break;
    } else {
      failure = stream.error();
      stream.close();
      return std::nullopt;
    }
  }
  if (stream.status() == StreamStatus::error) {  // an open that failed never had bytes available
    failure = stream.error();
    stream.close();
    return std::nullopt;
  }
  stream.close();
  return blob;
}

/// Closes a stream the reader opened, unless it never opened or is closed already.
void closeOpened(platform::InputStream& stream) {
  const StreamStatus status = stream.status();
  if (status != StreamStatus::notOpen && status != StreamStatus::closed) stream.close();
}

/// The stream's bytes through one buffer: first the bytes read while looking for a mark, then
/// blocks of at most the buffer's capacity. It closes the stream once, when the bytes end, when a
/// read fails or when it is released; a failed read is reported by `onEnd()`.
class StreamByteSource final : public ByteSource {
 public:
  StreamByteSource(std::shared_ptr<platform::InputStream> stream, std::span<const std::uint8_t> carried)
      : stream_(std::move(stream)), buffer_(streamBufferCapacity) {
    std::copy(carried.begin(), carried.end(), buffer_.begin());
    end_ = carried.size();
  }
  ~StreamByteSource() override { close(); }

  std::span<const std::uint8_t> next() override {
    if (index_ >= end_ && !refill()) return {};
    const std::span<const std::uint8_t> block(buffer_.data() + index_, end_ - index_);
    index_ = end_;
    return block;
  }

  void onEnd() override {
    if (error_) throw *error_;
  }

 private:
  enum class Status { active, finished, error };

  bool refill() {
    if (status_ != Status::active) return false;
    const std::ptrdiff_t count = stream_->read(buffer_.data(), buffer_.size());
    if (count > 0) {
      index_ = 0;
      end_ = static_cast<std::size_t>(count);
      return true;
    }
    if (count == 0) {
      close();
      return false;
    }
    // The status that explains the failure is the one before closing.
    const StreamStatus status = stream_->status();
    std::exception_ptr underlying = stream_->error();
    close();
    error_ = readFailed(*stream_, false, status, std::move(underlying));
    status_ = Status::error;
    return false;
  }

  void close() {
    if (status_ != Status::active) return;
    status_ = Status::finished;
    closeOpened(*stream_);
    buffer_ = {};
    index_ = end_ = 0;
  }

  std::shared_ptr<platform::InputStream> stream_;
  std::vector<std::uint8_t> buffer_;
  std::size_t index_ = 0;
  std::size_t end_ = 0;
  Status status_ = Status::active;
  std::optional<CSVReaderError> error_;
};

}  // namespace

CSVReader CSVReader::initWithURL(const std::filesystem::path& fileURL, Configuration configuration) {
  std::shared_ptr<platform::InputStream> stream = platform::InputStream::withFile(fileURL);
  if (configuration.presample) {
    std::exception_ptr failure;
    std::optional<platform::Data> contents;
    if (stream) contents = readWholeStream(*stream, std::size_t{1} << 16, failure);
    if (!contents) throw fileNotRead(fileURL, failure);
    return initWithData(std::move(*contents), std::move(configuration));
  }
  if (!stream) throw streamNotCreated(fileURL);
  return initStreaming(std::move(stream), std::move(configuration));
}

CSVReader CSVReader::initWithURL(const std::filesystem::path& fileURL, const Configure& configure) {
  return initWithURL(fileURL, configured(configure));
}

CSVReader CSVReader::initWithInputStream(std::shared_ptr<platform::InputStream> stream, Configuration configuration) {
  requireStream(stream);
  if (configuration.presample) {
    std::exception_ptr failure;
    std::optional<platform::Data> contents = readWholeStream(*stream, wholeReadChunk, failure);
    if (!contents) throw wholeStreamNotRead(*stream, failure);
    return initWithData(std::move(*contents), std::move(configuration));
  }
  return initStreaming(std::move(stream), std::move(configuration));
}

CSVReader CSVReader::initWithInputStream(std::shared_ptr<platform::InputStream> stream, const Configure& configure) {
  return initWithInputStream(std::move(stream), configured(configure));
}

CSVReader::FileView CSVReader::decode(std::shared_ptr<platform::InputStream> stream,
                                      const Configuration& configuration) {
  return initWithInputStream(std::move(stream), configuration).readFileView();
}

CSVReader::FileView CSVReader::decode(std::shared_ptr<platform::InputStream> stream, const Configure& configure) {
  return decode(std::move(stream), configured(configure));
}

CSVReader CSVReader::initStreaming(std::shared_ptr<platform::InputStream> stream, Configuration configuration) {
  stream->open();
  // Short reads must not hide a mark: read until the longest mark fits, the input ends or a read fails.
  std::array<std::uint8_t, ByteOrderMark::maximumLength> first{};
  std::size_t count = 0;
  platform::TextEncoding encoding = platform::TextEncoding::utf8();
  Inference inference;
  try {
    while (count < first.size()) {
      const std::ptrdiff_t read = stream->read(first.data() + count, first.size() - count);
      if (read == 0) break;
      if (read < 0) throw readFailed(*stream, true, stream->status(), stream->error());
      count += static_cast<std::size_t>(read);
    }
    inference = inferEncoding(std::span<const std::uint8_t>(first.data(), count), configuration.encoding);
    encoding = resolveEncoding(configuration.encoding, inference.encoding);
  } catch (...) {
    closeOpened(*stream);
    throw;
  }
  const std::span<const std::uint8_t> carried(first.data() + inference.markLength, count - inference.markLength);
  // From here the byte source owns the closing: a failed construction releases it, which closes the stream.
  auto bytes = std::make_unique<StreamByteSource>(std::move(stream), carried);
  return CSVReader(std::move(configuration), makeDecoder(std::move(bytes), encoding, inference.markLength));
}

}  // namespace RecordCSV
