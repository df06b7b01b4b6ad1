#pragma once
// A TCP server on 127.0.0.1 at a free port for tests that need bytes exactly: it
// records each request's raw bytes (head and body, as Content-Length gives it) and then
// acts as scripted for that connection. It serves one connection at a time until it is
// destroyed, which closes every connection still held and joins its thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::testing {

class RawSocketServer {
 public:
  struct Behaviour {
    enum class Kind { reply, reset, stall };
    Kind kind = Kind::reply;
    /// Written before the connection is closed or held.
    std::string bytes;

    /// Writes the bytes (garbage, a body shorter than its Content-Length, …) and closes.
    static Behaviour reply(std::string bytes) { return {Kind::reply, std::move(bytes)}; }
    /// Closes at once with a reset instead of an orderly close.
    static Behaviour reset() { return {Kind::reset, {}}; }
    /// Says nothing and holds the connection until the server ends.
    static Behaviour stall() { return {Kind::stall, {}}; }
    /// Writes the bytes (a head, say), then says nothing more until the server ends.
    static Behaviour stallAfter(std::string bytes) { return {Kind::stall, std::move(bytes)}; }
  };

  /// Connection n gets behaviour n; connections past the list get its last one.
  explicit RawSocketServer(std::vector<Behaviour> behaviours);
  ~RawSocketServer();
  RawSocketServer(const RawSocketServer&) = delete;
  RawSocketServer& operator=(const RawSocketServer&) = delete;

  int port() const;
  /// "http://127.0.0.1:<port>" followed by `pathAndQuery`.
  std::string url(std::string_view pathAndQuery = "") const;
  /// The raw bytes of every request received so far, in order.
  std::vector<std::string> requests() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform::testing
