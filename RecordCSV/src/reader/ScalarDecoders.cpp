// Bytes in ASCII, UTF-8, UTF-16 or UTF-32 turned into checked UTF-8 text a block at a time.
// A decoding error is held back until the text decoded before it has been read.

#include <optional>
#include <string>

#include "RecordCSV/UTF8Source.hpp"
#include "platform/core/Unicode.hpp"
#include "reader/ReaderErrors.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {
namespace {

using Kind = platform::TextEncoding::Kind;

constexpr std::size_t outputBlock = std::size_t{1} << 16;

class DecodingSource final : public UTF8Source {
 public:
  DecodingSource(std::unique_ptr<ByteSource> bytes, Kind kind, std::uint64_t firstByte)
      : bytes_(std::move(bytes)), kind_(kind), blockOffset_(firstByte) {}

  bool advance(std::size_t consumed) override {
    text_.erase(0, consumed);
    const std::size_t before = text_.size();
    if (!pending_ && !finished_) produce();
    data_ = text_.data();
    size_ = text_.size();
    if (text_.size() > before) return true;
    if (pending_) throw *pending_;
    return false;
  }

 private:
  void produce() {
    try {
      if (kind_ == Kind::utf8 || kind_ == Kind::ascii)
        copyWellFormed();
      else
        convertScalars();
    } catch (const CSVReaderError& error) {
      pending_ = error;
    }
  }

  /// UTF-8 and ASCII need no conversion: the well-formed run of each block is copied whole.
  void copyWellFormed() {
    const std::size_t start = text_.size();
    const std::size_t target = start + outputBlock;
    while (text_.size() < target) {
      // What one block gave goes to the parser before the next block is asked for: a stream
      // (a pipe, say) may not deliver more until the rows it already sent have been read.
      if (cursor_ == blockEnd_ && text_.size() > start) return;
      if (cursor_ == blockEnd_ && !nextBlock()) {
        // A sequence cut short by the end is bad text, unless a failed read cut it.
        if (!held_.empty()) {
          bytes_->onEnd();
          throw ReaderErrors::invalidUTF8(offsetOf(cursor_) - held_.size());
        }
        end();
        finished_ = true;
        return;
      }
      if (!held_.empty()) {
        completeHeld();
        continue;
      }
      const std::string_view block(reinterpret_cast<const char*>(cursor_), static_cast<std::size_t>(blockEnd_ - cursor_));
      const std::size_t valid = kind_ == Kind::ascii ? scan::asciiEnd(cursor_, 0, block.size())
                                                     : scan::wellFormedUTF8End(block, 0, block.size());
      text_.append(block.data(), valid);
      cursor_ += valid;
      if (cursor_ == blockEnd_) continue;
      if (kind_ == Kind::ascii) throw ReaderErrors::notASCII(*cursor_, offsetOf(cursor_));
      // A sequence cut by the end of the block waits for the next block.
      if (!isSequenceStart(cursor_, static_cast<std::size_t>(blockEnd_ - cursor_)))
        throw ReaderErrors::invalidUTF8(offsetOf(cursor_));
      held_.assign(cursor_, blockEnd_);
      cursor_ = blockEnd_;
    }
  }

  void completeHeld() {
    held_.push_back(*cursor_++);
    if (!isSequenceStart(held_.data(), held_.size())) throw ReaderErrors::invalidUTF8(offsetOf(cursor_) - held_.size());
    if (platform::wellFormedUTF8Length(held_.data(), held_.size()) == held_.size()) {
      text_.append(reinterpret_cast<const char*>(held_.data()), held_.size());
      held_.clear();
    }
  }

  /// Whether `count` bytes begin, or make, one well-formed sequence.
  static bool isSequenceStart(const std::uint8_t* bytes, std::size_t count) {
    const std::uint8_t b0 = bytes[0];
    if (b0 < 0xC2 || b0 > 0xF4) return false;
    const std::size_t length = b0 < 0xE0 ? 2 : b0 < 0xF0 ? 3 : 4;
    if (count > length) return false;
    for (std::size_t i = 1; i < count; ++i) {
      std::uint8_t low = 0x80, high = 0xBF;
      if (i == 1) {
        if (b0 == 0xE0) low = 0xA0;
        if (b0 == 0xED) high = 0x9F;
        if (b0 == 0xF0) low = 0x90;
        if (b0 == 0xF4) high = 0x8F;
      }
      if (bytes[i] < low || bytes[i] > high) return false;
    }
    return true;
  }

  void convertScalars() {
    const std::size_t start = text_.size();
    const std::size_t target = start + outputBlock;
    char32_t scalar;
    while (text_.size() < target) {
      if (cursor_ == blockEnd_ && text_.size() > start) return;
      if (!decodeOne(scalar)) {
        finished_ = true;
        return;
      }
      platform::appendUTF8(text_, scalar);
    }
  }

  bool nextBlock() {
    if (bytesEnded_) return false;
    const std::span<const std::uint8_t> block = bytes_->next();
    if (block.empty()) {
      bytesEnded_ = true;
      return false;
    }
    blockOffset_ += static_cast<std::uint64_t>(blockEnd_ - blockStart_);
    cursor_ = blockStart_ = block.data();
    blockEnd_ = cursor_ + block.size();
    return true;
  }

  bool nextByte(std::uint8_t& byte) {
    if (cursor_ == blockEnd_ && !nextBlock()) return false;
    byte = *cursor_++;
    return true;
  }

  /// The end of the bytes: the source's end check, then an incomplete last unit.
  bool end() {
    bytes_->onEnd();
    if (incomplete_) throw *incomplete_;
    return false;
  }

  /// The next unit of `width` bytes; nothing at the end, remembering a cut-off unit.
  bool nextUnit(std::size_t width, bool bigEndian, std::uint32_t& unit) {
    std::uint8_t byte;
    if (!nextByte(byte)) return false;
    unit = byte;
    std::uint32_t shift = 8;
    for (std::size_t i = 1; i < width; ++i, shift += 8) {
      if (!nextByte(byte)) {
        incomplete_ = width == 2 ? ReaderErrors::incompleteUTF16(scalarStart_) : ReaderErrors::incompleteUTF32(scalarStart_);
        return false;
      }
      unit = bigEndian ? unit << 8 | byte : unit | std::uint32_t{byte} << shift;
    }
    return true;
  }

  bool decodeOne(char32_t& scalar) {
    scalarStart_ = offsetOf(cursor_);
    switch (kind_) {
      case Kind::utf16:
      case Kind::utf16BigEndian: return decodeUTF16(scalar, true);
      case Kind::utf16LittleEndian: return decodeUTF16(scalar, false);
      case Kind::utf32:
      case Kind::utf32BigEndian: return decodeUTF32(scalar, true);
      case Kind::utf32LittleEndian: return decodeUTF32(scalar, false);
      default: break;
    }
    return false;
  }

  bool decodeUTF16(char32_t& scalar, bool bigEndian) {
    std::uint32_t unit;
    if (!nextUnit(2, bigEndian, unit)) return end();
    if (unit < 0xD800 || unit > 0xDFFF) {
      scalar = unit;
      return true;
    }
    std::uint32_t low;
    if (unit > 0xDBFF) throw ReaderErrors::invalidUTF16(scalarStart_);
    if (!nextUnit(2, bigEndian, low)) {
      bytes_->onEnd();  // a failed read, rather than a lone high unit, may have cut the pair
      throw ReaderErrors::invalidUTF16(scalarStart_);
    }
    if (low < 0xDC00 || low > 0xDFFF) throw ReaderErrors::invalidUTF16(scalarStart_);
    scalar = 0x10000 + (unit - 0xD800) * 0x400 + (low - 0xDC00);
    return true;
  }

  bool decodeUTF32(char32_t& scalar, bool bigEndian) {
    std::uint32_t unit;
    if (!nextUnit(4, bigEndian, unit)) return end();
    if (!platform::isScalar(unit)) throw ReaderErrors::invalidUTF32(scalarStart_);
    scalar = unit;
    return true;
  }

  /// Where `at`, in the current block or at its end, lies in the input.
  std::uint64_t offsetOf(const std::uint8_t* at) const noexcept {
    return blockOffset_ + static_cast<std::uint64_t>(at - blockStart_);
  }

  std::unique_ptr<ByteSource> bytes_;
  Kind kind_;
  std::uint64_t blockOffset_;  // where the current block begins in the input
  std::uint64_t scalarStart_ = 0;  // where the scalar being decoded begins
  const std::uint8_t* blockStart_ = nullptr;
  const std::uint8_t* cursor_ = nullptr;
  const std::uint8_t* blockEnd_ = nullptr;
  bool bytesEnded_ = false;
  bool finished_ = false;
  std::optional<CSVReaderError> incomplete_;
  std::optional<CSVReaderError> pending_;
  std::basic_string<std::uint8_t> held_;  // the start of a UTF-8 sequence that a block cut
  std::string text_;
};

}  // namespace

std::unique_ptr<UTF8Source> CSVReader::makeDecoder(std::unique_ptr<ByteSource> bytes,
                                                   const platform::TextEncoding& encoding, std::uint64_t firstByte) {
  if (encoding.kind() == Kind::other) throw ReaderErrors::unsupportedEncoding(encoding);
  return std::make_unique<DecodingSource>(std::move(bytes), encoding.kind(), firstByte);
}

}  // namespace RecordCSV
