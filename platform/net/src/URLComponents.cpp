#include "platform/net/URLComponents.hpp"

namespace platform {
namespace {

std::optional<std::string> copied(std::optional<std::string_view> text) {
  if (!text) return std::nullopt;
  return std::string(*text);
}

std::string decodedOrWritten(std::string_view text) {
  std::optional<std::string> decoded = percentDecoded(text);
  return decoded ? std::move(*decoded) : std::string(text);
}

}  // namespace

URLComponents::URLComponents(const URL& url) {
  const URIReference parts = url.components();
  scheme_ = copied(parts.scheme);
  userInfo_ = copied(parts.userInfo);
  host_ = copied(parts.host);
  port_ = copied(parts.port);
  path_ = parts.path;
  query_ = copied(parts.query);
  fragment_ = copied(parts.fragment);
}

std::optional<URLComponents> URLComponents::parse(std::string_view text) {
  std::optional<URL> url = URL::parse(text);
  if (!url) return std::nullopt;
  return URLComponents(*url);
}

std::optional<std::vector<URLQueryItem>> URLComponents::queryItems() const {
  if (!query_) return std::nullopt;
  std::vector<URLQueryItem> items;
  if (query_->empty()) return items;
  std::string_view rest = *query_;
  while (true) {
    const std::size_t amp = rest.find('&');
    const std::string_view item = rest.substr(0, amp);
    const std::size_t equals = item.find('=');
    URLQueryItem decoded{decodedOrWritten(item.substr(0, equals)), std::nullopt};
    if (equals != std::string_view::npos) decoded.value = decodedOrWritten(item.substr(equals + 1));
    items.push_back(std::move(decoded));
    if (amp == std::string_view::npos) return items;
    rest.remove_prefix(amp + 1);
  }
}

void URLComponents::setQueryItems(const std::optional<std::vector<URLQueryItem>>& items) {
  if (!items) {
    query_.reset();
    return;
  }
  std::string query;
  for (std::size_t i = 0; i < items->size(); ++i) {
    const URLQueryItem& item = (*items)[i];
    if (i > 0) query += '&';
    query += strictlyEncoded(item.name);
    if (item.value) query.append("=").append(strictlyEncoded(*item.value));
  }
  query_ = std::move(query);
}

std::string URLComponents::strictlyEncoded(std::string_view text) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
    if (unreserved) {
      out += c;
    } else {
      out += '%';
      out += hex[byte >> 4];
      out += hex[byte & 0xF];
    }
  }
  return out;
}

std::string URLComponents::string() const {
  std::string text;
  if (scheme_) text.append(*scheme_).append(":");
  if (host_) {
    text += "//";
    if (userInfo_) text.append(*userInfo_).append("@");
    text += *host_;
    if (port_) text.append(":").append(*port_);
  }
  text += path_;
  if (query_) text.append("?").append(*query_);
  if (fragment_) text.append("#").append(*fragment_);
  return text;
}

std::optional<URL> URLComponents::url() const { return URL::parse(string()); }

}  // namespace platform
