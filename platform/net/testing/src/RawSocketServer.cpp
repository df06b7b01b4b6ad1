#include "platform/net/testing/RawSocketServer.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace platform::testing {
namespace {

std::system_error socketError(const char* what) { return {errno, std::generic_category(), what}; }

// The Content-Length of a request head, 0 when it has none.
std::size_t contentLength(std::string_view head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::strtoull(lower.c_str() + at + 17, nullptr, 10);
}

}  // namespace

struct RawSocketServer::State {
  std::vector<Behaviour> behaviours;
  int listener = -1;
  int wake[2] = {-1, -1};  // written to once, when the server ends
  int port = 0;
  std::thread thread;
  mutable std::mutex mutex;
  std::vector<std::string> requests;
  std::vector<int> held;

  ~State() {
    for (int fd : held) ::close(fd);
    for (int fd : {listener, wake[0], wake[1]})
      if (fd >= 0) ::close(fd);
  }

  // Waits until `fd` is readable; false once the server ends.
  bool readable(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0)
      if (errno != EINTR) return false;
    return !(fds[1].revents & POLLIN);
  }

  void serve() {
    for (std::size_t connection = 0;; ++connection) {
      if (!readable(listener)) return;
      const int client = ::accept(listener, nullptr, nullptr);
      if (client < 0) continue;
      const Behaviour& behaviour = behaviours[std::min(connection, behaviours.size() - 1)];
      std::string request;
      if (!readRequest(client, request)) {
        ::close(client);
        return;
      }
      {
        std::lock_guard lock(mutex);
        requests.push_back(std::move(request));
      }
      write(client, behaviour);
      switch (behaviour.kind) {
        case Behaviour::Kind::reply:
          ::close(client);
          break;
        case Behaviour::Kind::reset: {
          const linger abortive{1, 0};
          ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
          ::close(client);
          break;
        }
        case Behaviour::Kind::stall: {
          std::lock_guard lock(mutex);
          held.push_back(client);
          break;
        }
      }
    }
  }

  // Writes the bytes, unless the client went away: then there is nothing more to say.
  static void write(int client, const Behaviour& behaviour) {
    const std::string& bytes = behaviour.bytes;
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  // The head up to its blank line and the body its Content-Length announces; false once the server ends.
  bool readRequest(int client, std::string& request) const {
    std::size_t expected = std::string::npos;
    char buffer[65536];
    while (request.size() < expected) {
      if (!readable(client)) return false;
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return true;  // the client gave up: keep what came
      request.append(buffer, static_cast<std::size_t>(n));
      if (expected == std::string::npos)
        if (const std::size_t end = request.find("\r\n\r\n"); end != std::string::npos)
          expected = end + 4 + contentLength(std::string_view(request).substr(0, end));
    }
    return true;
  }
};

RawSocketServer::RawSocketServer(std::vector<Behaviour> behaviours) : state_(std::make_shared<State>()) {
  if (behaviours.empty()) throw std::invalid_argument("RawSocketServer needs at least one behaviour");
  state_->behaviours = std::move(behaviours);
  if (::pipe(state_->wake) != 0) throw socketError("pipe");
  state_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (state_->listener < 0) throw socketError("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(state_->listener, 16) != 0 ||
      ::getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw socketError("bind");
  state_->port = ntohs(address.sin_port);
  state_->thread = std::thread([state = state_] { state->serve(); });
}

RawSocketServer::~RawSocketServer() {
  const char end = 0;
  (void)!::write(state_->wake[1], &end, 1);
  state_->thread.join();
}

int RawSocketServer::port() const { return state_->port; }

std::string RawSocketServer::url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(pathAndQuery);
}

std::vector<std::string> RawSocketServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

}  // namespace platform::testing
