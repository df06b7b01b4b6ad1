#pragma once
// A universally unique identifier (RFC 4122), made and parsed with libuuid.

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class UUID {
 public:
  /// A new random (version 4) identifier.
  UUID();
  explicit UUID(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}
  /// The identifier in the canonical 36-character form, either case; nothing for any other text.
  static std::optional<UUID> fromString(std::string_view text);

  /// Upper-case canonical text, such as "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
  std::string uuidString() const;
  const std::array<std::uint8_t, 16>& bytes() const noexcept { return bytes_; }

  friend auto operator<=>(const UUID&, const UUID&) = default;

 private:
  std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace platform

template <>
struct std::hash<platform::UUID> {
  std::size_t operator()(const platform::UUID& uuid) const noexcept {
    std::size_t value = 0;
    for (std::uint8_t byte : uuid.bytes()) value = value * 131 + byte;
    return value;
  }
};
