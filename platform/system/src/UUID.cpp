#include "platform/system/UUID.hpp"

#include <uuid/uuid.h>

#include <string>

namespace platform {

UUID::UUID() { uuid_generate_random(bytes_.data()); }

std::optional<UUID> UUID::fromString(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  std::string terminated(text);  // uuid_parse wants a C string
  std::array<std::uint8_t, 16> bytes{};
  if (uuid_parse(terminated.c_str(), bytes.data()) != 0) return std::nullopt;
  return UUID(bytes);
}

std::string UUID::uuidString() const {
  char text[37];
  uuid_unparse_upper(bytes_.data(), text);
  return text;
}

}  // namespace platform
