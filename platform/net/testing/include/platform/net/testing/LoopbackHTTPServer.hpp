#pragma once
// An HTTP server on 127.0.0.1 at a free port for tests: it answers each path with the
// reply scripted for it (404 otherwise) and records every request it receives before it
// answers. It serves from the moment it is made until it is destroyed, which stops it
// and joins its threads. Recorded header fields are sorted by name: use RawSocketServer
// where their order matters.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::testing {

using HeaderPairs = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
  std::string method;
  /// The request target exactly as sent ("/path?query").
  std::string target;
  /// The path, percent-decoded.
  std::string path;
  /// The query items, decoded, in the order sent.
  HeaderPairs queryItems;
  HeaderPairs headers;
  /// The body as sent, or decoded when it came with Content-Encoding gzip.
  std::string body;

  /// The first header of that name (compared without case), or "" when there is none.
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
};

struct ScriptedReply {
  ScriptedReply(int status_ = 200, std::string body_ = "", std::string contentType_ = "text/plain",
                HeaderPairs headers_ = {})
      : status(status_), body(std::move(body_)), contentType(std::move(contentType_)), headers(std::move(headers_)) {}

  int status;
  std::string body;
  /// None is sent when it is empty.
  std::string contentType;
  HeaderPairs headers;
  /// Answered only once `LoopbackHTTPServer::release()` is called (or the server ends).
  bool held = false;
};

class LoopbackHTTPServer {
 public:
  LoopbackHTTPServer();
  ~LoopbackHTTPServer();
  LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
  LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

  int port() const;
  /// "http://127.0.0.1:<port>" followed by `pathAndQuery`.
  std::string url(std::string_view pathAndQuery = "") const;
  /// The reply to every request for `path`, whatever its method.
  void script(std::string path, ScriptedReply reply);
  std::vector<RecordedRequest> requests() const;
  /// Lets every held reply go, now and from now on.
  void release();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform::testing
