#pragma once
// A web address taken apart so that its query can be replaced: the components are kept
// percent-encoded as written, and `url()` puts them back together. Query items are
// encoded strictly: every byte but ALPHA, DIGIT, "-", ".", "_" and "~" is written as
// "%HH" (upper-case hex over UTF-8), so "&", "=", "+" and "/" in a name or value stay
// inside it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/URL.hpp"

namespace platform {

struct URLQueryItem {
  std::string name;
  /// Absent: the item is written without "=".
  std::optional<std::string> value;

  friend bool operator==(const URLQueryItem&, const URLQueryItem&) = default;
};

class URLComponents {
 public:
  URLComponents() = default;
  explicit URLComponents(const URL& url);
  /// Nothing when the text is not a URI reference (see URL::parse).
  static std::optional<URLComponents> parse(std::string_view text);

  const std::optional<std::string>& scheme() const noexcept { return scheme_; }
  /// As written, an IP literal with its brackets; absent without an authority.
  const std::optional<std::string>& percentEncodedHost() const noexcept { return host_; }
  const std::string& percentEncodedPath() const noexcept { return path_; }
  const std::optional<std::string>& percentEncodedQuery() const noexcept { return query_; }
  const std::optional<std::string>& percentEncodedFragment() const noexcept { return fragment_; }

  /// The query split at "&" and at each item's first "=", decoded; absent without a query.
  /// An item whose escapes do not decode keeps its text as written.
  std::optional<std::vector<URLQueryItem>> queryItems() const;
  /// Replaces the whole query; absent removes it, an empty list leaves an empty one ("?").
  void setQueryItems(const std::optional<std::vector<URLQueryItem>>& items);

  /// The components put back together.
  std::string string() const;
  /// The address, or nothing when the components make none (the empty text is no address).
  std::optional<URL> url() const;

  /// The text with every byte outside ALPHA, DIGIT, "-", ".", "_" and "~" percent-encoded.
  static std::string strictlyEncoded(std::string_view text);

 private:
  std::optional<std::string> scheme_;
  std::optional<std::string> userInfo_;
  std::optional<std::string> host_;
  std::optional<std::string> port_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace platform
