#pragma once
// The components of an RFC 3986 URI reference as views into its text. `split` checks the
// grammar of every component; the views are valid only as long as the text they look into.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct URIReference {
  std::optional<std::string_view> scheme;
  /// Present only when the reference has an authority ("//…").
  std::optional<std::string_view> userInfo;
  /// Present exactly when the reference has an authority; as written (an IP literal keeps
  /// its brackets), possibly empty.
  std::optional<std::string_view> host;
  /// The text after the authority's ":", possibly empty; digits only.
  std::optional<std::string_view> port;
  std::string_view path;
  std::optional<std::string_view> query;
  std::optional<std::string_view> fragment;

  /// Nothing when the text is not a URI reference: a character that no component allows
  /// (white space, non-ASCII, "<", "\" …), a "%" without two hex digits, a bad scheme, port
  /// or IP literal, or a colon in the first segment of a relative path.
  static std::optional<URIReference> split(std::string_view text) noexcept;
};

/// Percent escapes decoded into bytes; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> percentDecoded(std::string_view text);

}  // namespace platform
