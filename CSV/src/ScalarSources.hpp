#pragma once
// The scalar sources the row parser reads from: the literal chain of code-unit and
// scalar iterators, the UTF-8 bytes of a byte reader's buffer read in place (with
// the literal chain taking over wherever a scalar is not whole in the buffer), and
// the bytes of a text.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ByteScanning.hpp"
#include "RowParser.hpp"
#include "CSV/BinaryReader.hpp"
#include "CSV/UnicodeIterator.hpp"

namespace CSV {

template <typename Scalars>
class LiteralSource {
 public:
  explicit LiteralSource(Scalars scalars) : scalars_(std::move(scalars)) {}
  char32_t take() { return scalars_.next().value_or(endOfInput); }
  std::string_view ordinaryRun(const ScanTable&) { return {}; }
  std::string_view heldBytes() const { return {}; }
  const char* position() const { return nullptr; }

 private:
  Scalars scalars_;
};

using UTF8Scalars = UnicodeIterator<BinaryReader::UInt8Iterator, UTF8>;

class BufferedUTF8Source {
 public:
  explicit BufferedUTF8Source(UTF8Scalars scalars)
      : scalars_(std::move(scalars)), reader_(scalars_.input().reader().get()) {}

  [[gnu::always_inline]] char32_t take() {
    const std::span<const std::uint8_t> bytes = reader_->bufferedBytes();
    if (!bytes.empty()) {
      if (bytes[0] < 0x80) {
        reader_->consume(1);
        return bytes[0];
      }
      if (const std::size_t length = platform::wellFormedUTF8Length(bytes.data(), bytes.size())) {
        reader_->consume(length);
        return decodeWellFormed(bytes.data(), length);
      }
    }
    return takeThroughChain();
  }

  /// Consumes the run of ordinary scalars at the position; its bytes stay valid until a refill.
  std::string_view ordinaryRun(const ScanTable& table) {
    const std::span<const std::uint8_t> bytes = reader_->bufferedBytes();
    const std::uint8_t* end = scanOrdinary(bytes.data(), bytes.data() + bytes.size(), table);
    const auto length = static_cast<std::size_t>(end - bytes.data());
    reader_->consume(length);
    return {reinterpret_cast<const char*>(bytes.data()), length};
  }
  std::string_view heldBytes() const {
    const std::span<const std::uint8_t> bytes = reader_->heldBytes();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }
  const char* position() const { return reinterpret_cast<const char*>(reader_->bufferedBytes().data()); }
  /// Moves past bytes at the position that were read in place.
  void consume(std::size_t count) { reader_->consume(count); }

 private:
  /// A refill, a scalar split across reads, or ill-formed bytes: as the literal chain does it.
  [[gnu::noinline]] char32_t takeThroughChain() { return scalars_.next().value_or(endOfInput); }

  UTF8Scalars scalars_;
  BinaryReader* reader_;
};

/// Ill-formed bytes read as U+FFFD, one per byte, as platform::toScalars reads them.
class TextSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}

  char32_t take() {
    if (position_ == text_.size()) return endOfInput;
    const std::uint8_t* at = bytes() + position_;
    const std::size_t length = platform::wellFormedUTF8Length(at, text_.size() - position_);
    position_ += length ? length : 1;
    return length ? decodeWellFormed(at, length) : 0xFFFD;
  }

  std::string_view ordinaryRun(const ScanTable& table) {
    const std::uint8_t* at = bytes() + position_;
    const auto length = static_cast<std::size_t>(scanOrdinary(at, bytes() + text_.size(), table) - at);
    const std::string_view run = std::string_view(text_).substr(position_, length);
    position_ += length;
    return run;
  }
  std::string_view heldBytes() const { return {}; }
  const char* position() const { return nullptr; }

 private:
  const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(text_.data()); }

  std::string text_;
  std::size_t position_ = 0;
};

}  // namespace CSV
