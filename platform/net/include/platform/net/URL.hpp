#pragma once
// A web address: an RFC 3986 URI reference kept as the text it was made from. Only valid
// references can be made; the accessors answer as the components were written, except
// where they say they decode.

#include <optional>
#include <string>
#include <string_view>

#include "platform/net/URIReference.hpp"

namespace platform {

class URL {
 public:
  /// Nothing for the empty text and for any text that is not a URI reference.
  static std::optional<URL> parse(std::string_view text);

  /// The text the URL was made from.
  const std::string& absoluteString() const noexcept { return text_; }
  /// The components as views into `absoluteString()`.
  URIReference components() const noexcept;

  std::optional<std::string_view> scheme() const noexcept { return components().scheme; }
  /// Percent-decoded, an IP literal without its brackets; nothing without an authority.
  std::optional<std::string> host() const;
  /// Nothing when the authority has no port or one beyond the range of int.
  std::optional<int> port() const noexcept;
  /// Percent-decoded, without a trailing "/" (unless the path is "/" alone); empty when the
  /// decoded bytes are not UTF-8.
  std::string path() const;
  /// As written, without the "?".
  std::optional<std::string_view> query() const noexcept { return components().query; }
  /// As written, without the "#".
  std::optional<std::string_view> fragment() const noexcept { return components().fragment; }

  friend bool operator==(const URL&, const URL&) = default;

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

}  // namespace platform
