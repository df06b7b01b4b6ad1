#include "platform/net/URL.hpp"

#include <charconv>

#include "platform/core/Unicode.hpp"

namespace platform {

std::optional<URL> URL::parse(std::string_view text) {
  if (text.empty() || !URIReference::split(text)) return std::nullopt;
  return URL(std::string(text));
}

URIReference URL::components() const noexcept {
  // Only valid references are kept, so the split cannot fail.
  return *URIReference::split(text_);
}

std::optional<std::string> URL::host() const {
  std::optional<std::string_view> written = components().host;
  if (!written) return std::nullopt;
  if (written->starts_with("[")) return std::string(written->substr(1, written->size() - 2));
  return percentDecoded(*written);
}

std::optional<int> URL::port() const noexcept {
  std::optional<std::string_view> digits = components().port;
  if (!digits || digits->empty()) return std::nullopt;
  int value = 0;
  auto [end, error] = std::from_chars(digits->data(), digits->data() + digits->size(), value);
  if (error != std::errc() || end != digits->data() + digits->size()) return std::nullopt;
  return value;
}

std::string URL::path() const {
  std::string_view written = components().path;
  if (written.size() > 1 && written.ends_with('/')) written.remove_suffix(1);
  std::optional<std::string> decoded = percentDecoded(written);
  if (!decoded || !isWellFormedUTF8(*decoded)) return {};
  return std::move(*decoded);
}

}  // namespace platform
