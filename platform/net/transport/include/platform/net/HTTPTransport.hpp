#pragma once
// Sends HTTP requests and reports each one's reply exactly once, on the transport's own
// thread, never inside `send`. Destroying the transport completes every request still
// in flight with `cancelledCode`; completions must return quickly and must not throw.
// Only http and https addresses with a host are sent (redirects included); anything
// else completes with an error and sends nothing.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Data.hpp"
#include "platform/core/Error.hpp"

namespace platform {

/// Header fields as ordered (name, value) pairs.
using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

struct HTTPRequest {
  enum class BodySink {
    keep,     ///< the reply's body is collected whole
    discard,  ///< the body is read and dropped as it arrives
  };

  std::string url;
  std::string method = "GET";
  /// Sent exactly as given, in this order; the transport adds only what HTTP needs (Host, a
  /// Content-Length for a body unless given) and defaults of its own that a field here replaces.
  HTTPHeaderFields headers;
  std::optional<Data> body;
  /// 0: a redirect is the reply; otherwise up to this many are followed, to http and https only.
  int maximumRedirects = 0;
  BodySink sink = BodySink::keep;
  /// Fails the request (code 28) once no byte has moved either way for this long, connecting
  /// included; not a limit on the whole transfer.
  std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
  /// Asks for a compressed reply and decodes whatever the server compressed.
  bool decompress = false;
};

struct HTTPResponse {
  int statusCode = 0;
  /// The final response's fields in arrival order.
  HTTPHeaderFields headerFields;

  /// The first field of that name, compared without case.
  std::optional<std::string> value(std::string_view name) const;
};

/// One request's outcome: a response, or a transport error (domain "HTTPTransport", the
/// libcurl code and its message). `body` is the whole body with a response, and whatever
/// had arrived with an error. Neither a response nor an error means the reply was not HTTP.
/// A connection that closes before the head's blank line is an error, never a response.
struct HTTPReply {
  std::optional<HTTPResponse> response;
  std::optional<Error> error;
  Data body;
};

class HTTPTransport {
 public:
  static constexpr const char* errorDomain = "HTTPTransport";
  /// The code of the error that completes a request cancelled by the transport's destruction.
  static constexpr std::int64_t cancelledCode = -999;

  using Completion = std::function<void(HTTPReply)>;

  /// A transport over libcurl, with its own thread that runs every transfer.
  static std::unique_ptr<HTTPTransport> make();

  virtual ~HTTPTransport() = default;
  /// Starts the request; `completion` runs once, on the transport's thread.
  virtual void send(HTTPRequest request, Completion completion) = 0;
};

}  // namespace platform
