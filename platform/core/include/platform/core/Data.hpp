#pragma once
// A blob of bytes. Distinct from an array of bytes so that the two can be told
// apart where values are coded differently.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class Data {
 public:
  Data() = default;
  explicit Data(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  Data(const std::uint8_t* bytes, std::size_t count) : bytes_(bytes, bytes + count) {}
  /// The bytes of a text, unchanged.
  static Data fromString(std::string_view text) {
    return Data(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }

  const std::uint8_t* data() const noexcept { return bytes_.data(); }
  std::size_t size() const noexcept { return bytes_.size(); }
  bool empty() const noexcept { return bytes_.empty(); }
  std::span<const std::uint8_t> span() const noexcept { return bytes_; }
  const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }
  std::vector<std::uint8_t>& bytes() noexcept { return bytes_; }
  auto begin() const noexcept { return bytes_.begin(); }
  auto end() const noexcept { return bytes_.end(); }
  /// The bytes as a text, unchanged (not validated).
  std::string_view view() const noexcept { return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()}; }

  void append(const std::uint8_t* bytes, std::size_t count) { bytes_.insert(bytes_.end(), bytes, bytes + count); }

  friend bool operator==(const Data&, const Data&) = default;

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace platform
