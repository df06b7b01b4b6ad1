// Text and bytes already in memory, handed to the parser without copying.

#include <cstring>

#include "reader/MemorySources.hpp"
#include "reader/ReaderErrors.hpp"
#include "scan/Scan.hpp"

namespace RecordCSV {
namespace {

constexpr std::size_t validationBlock = std::size_t{1} << 16;

class TextSource final : public UTF8Source {
 public:
  TextSource(std::string_view text, std::shared_ptr<const void> owner) : text_(text), owner_(std::move(owner)) {
    data_ = text_.data();
  }
  bool advance(std::size_t consumed) override {
    data_ += consumed;
    size_ -= consumed;
    if (handedOut_ || text_.empty()) return false;
    handedOut_ = true;
    size_ = text_.size();
    return true;
  }
  std::size_t sizeHint() const noexcept override { return handedOut_ ? 0 : text_.size(); }
  std::shared_ptr<const void> textOwner() const override { return owner_; }

 private:
  std::string_view text_;
  std::shared_ptr<const void> owner_;
  bool handedOut_ = false;
};

/// UTF-8 or ASCII bytes, checked a block at a time as the parser reaches them, so a
/// bad byte fails only after everything before it was read.
class CheckedBytesSource final : public UTF8Source {
 public:
  CheckedBytesSource(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> owner, bool asciiOnly,
                     std::uint64_t firstByte)
      : bytes_(bytes), owner_(std::move(owner)), asciiOnly_(asciiOnly), firstByte_(firstByte) {
    data_ = reinterpret_cast<const char*>(bytes_.data());
  }
  bool advance(std::size_t consumed) override {
    data_ += consumed;
    size_ -= consumed;
    if (checked_ == bytes_.size()) return false;
    const std::size_t limit = std::min(bytes_.size(), checked_ + validationBlock);
    const std::size_t end =
        asciiOnly_ ? scan::asciiEnd(bytes_.data(), checked_, limit)
                   : scan::wellFormedUTF8End(
                         std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()), checked_, limit);
    if (end == checked_) {
      if (asciiOnly_) throw ReaderErrors::notASCII(bytes_[end], firstByte_ + end);
      throw ReaderErrors::invalidUTF8(firstByte_ + end);
    }
    size_ += end - checked_;
    checked_ = end;
    return true;
  }
  std::size_t sizeHint() const noexcept override { return bytes_.size() - checked_; }
  std::shared_ptr<const void> textOwner() const override { return owner_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::shared_ptr<const void> owner_;
  bool asciiOnly_;
  std::uint64_t firstByte_;
  std::size_t checked_ = 0;
};

class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(std::span<const std::uint8_t> bytes, std::shared_ptr<const void> owner)
      : bytes_(bytes), owner_(std::move(owner)) {}
  std::span<const std::uint8_t> next() override {
    const std::span<const std::uint8_t> block = bytes_.first(std::min(bytes_.size(), validationBlock));
    bytes_ = bytes_.subspan(block.size());
    return block;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::shared_ptr<const void> owner_;
};

}  // namespace

std::unique_ptr<UTF8Source> UTF8Source::overText(std::string_view text, std::shared_ptr<const void> owner) {
  return std::make_unique<TextSource>(text, std::move(owner));
}

std::unique_ptr<ByteSource> ByteSource::overBytes(std::span<const std::uint8_t> bytes,
                                                  std::shared_ptr<const void> owner) {
  return std::make_unique<MemoryByteSource>(bytes, std::move(owner));
}

std::unique_ptr<UTF8Source> makeCheckedBytesSource(std::span<const std::uint8_t> bytes,
                                                   std::shared_ptr<const void> owner, bool asciiOnly,
                                                   std::uint64_t firstByte) {
  return std::make_unique<CheckedBytesSource>(bytes, std::move(owner), asciiOnly, firstByte);
}

}  // namespace RecordCSV
