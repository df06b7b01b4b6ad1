#pragma once
// What the reader's parser reads from: decoded text in blocks of well-formed
// UTF-8. Byte inputs (a data blob, a file, a stream) become one through a decoder
// (CSVReader::makeDecoder) over a ByteSource, so new inputs need no parser change.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace RecordCSV {

class UTF8Source {
 public:
  virtual ~UTF8Source() = default;

  /// The text handed out and not yet dropped; it ends on a scalar boundary.
  const char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

  /// Drops the first `consumed` bytes, then adds at least one more scalar after the rest.
  /// False at the end of the input. Where the input cannot be decoded, throws the reader's
  /// error, but only once every scalar before that place has been handed out.
  virtual bool advance(std::size_t consumed) = 0;
  /// Bytes of text still to come, when known (0 otherwise); lets a whole-file read reserve its arena.
  virtual std::size_t sizeHint() const noexcept { return 0; }
  /// What keeps every text handed out alive and in its place for as long as it lives; null
  /// when text handed out may move or be released (decoded into a buffer, or the caller's).
  virtual std::shared_ptr<const void> textOwner() const { return nullptr; }

  /// Text held in memory: `text` must be well-formed UTF-8 and outlive the source
  /// unless `owner` keeps it alive.
  static std::unique_ptr<UTF8Source> overText(std::string_view text, std::shared_ptr<const void> owner = nullptr);

 protected:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

/// Raw input bytes, block by block.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  /// The next bytes; empty at the end of the input. A block stays valid until the next call.
  virtual std::span<const std::uint8_t> next() = 0;
  /// Runs once, when the bytes are exhausted, before the decoder reports the end; may throw.
  virtual void onEnd() {}

  /// Bytes held in memory, handed out in pieces; `bytes` must outlive the source unless `owner` keeps it alive.
  static std::unique_ptr<ByteSource> overBytes(std::span<const std::uint8_t> bytes,
                                               std::shared_ptr<const void> owner = nullptr);
};

}  // namespace RecordCSV
