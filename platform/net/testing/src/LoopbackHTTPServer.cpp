#include "platform/net/testing/LoopbackHTTPServer.hpp"

#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace platform::testing {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

// As a server reads a query: "+" is a blank, "%hh" a byte.
std::string decodedQueryPart(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
               std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

HeaderPairs queryItems(std::string_view target) {
  HeaderPairs items;
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return items;
  std::string_view query = target.substr(question + 1);
  while (true) {
    const std::size_t amp = query.find('&');
    const std::string_view item = query.substr(0, amp);
    const std::size_t equals = item.find('=');
    items.emplace_back(decodedQueryPart(item.substr(0, equals)),
                       equals == std::string_view::npos ? "" : decodedQueryPart(item.substr(equals + 1)));
    if (amp == std::string_view::npos) return items;
    query.remove_prefix(amp + 1);
  }
}

}  // namespace

std::string RecordedRequest::header(std::string_view name) const {
  for (const auto& [field, value] : headers)
    if (sameName(field, name)) return value;
  return "";
}

bool RecordedRequest::hasHeader(std::string_view name) const {
  for (const auto& field : headers)
    if (sameName(field.first, name)) return true;
  return false;
}

struct LoopbackHTTPServer::State {
  httplib::Server server;
  int port = 0;
  std::thread thread;
  mutable std::mutex mutex;
  std::condition_variable released;
  bool releasing = false;
  std::map<std::string, ScriptedReply> replies;
  std::vector<RecordedRequest> requests;

  void handle(const httplib::Request& request, httplib::Response& response) {
    RecordedRequest recorded{request.method, request.target, request.path, queryItems(request.target), {},
                             request.body};
    for (const auto& [name, value] : request.headers) {
      // The library adds the socket's addresses as if they were fields.
      if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
        recorded.headers.emplace_back(name, value);
    }
    std::unique_lock lock(mutex);
    requests.push_back(std::move(recorded));
    const auto found = replies.find(request.path);
    if (found == replies.end()) {
      response.status = 404;
      response.set_content("no reply scripted for " + request.path, "text/plain");
      return;
    }
    const ScriptedReply reply = found->second;
    if (reply.held) released.wait(lock, [&] { return releasing; });
    lock.unlock();
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers) response.set_header(name, value);
    if (!reply.body.empty() || !reply.contentType.empty()) response.set_content(reply.body, reply.contentType);
  }
};

LoopbackHTTPServer::LoopbackHTTPServer() : state_(std::make_unique<State>()) {
  auto handler = [state = state_.get()](const httplib::Request& request, httplib::Response& response) {
    state->handle(request, response);
  };
  state_->server.Get(".*", handler);
  state_->server.Post(".*", handler);
  state_->server.Put(".*", handler);
  state_->server.Patch(".*", handler);
  state_->server.Delete(".*", handler);
  state_->server.Options(".*", handler);
  // A kept-alive connection holds its worker for seconds, and a client with many requests in
  // flight opens a connection for each: too few workers leave requests waiting that long.
  state_->server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  state_->port = state_->server.bind_to_any_port("127.0.0.1");
  if (state_->port <= 0) throw std::runtime_error("LoopbackHTTPServer: cannot bind to 127.0.0.1");
  state_->thread = std::thread([state = state_.get()] { state->server.listen_after_bind(); });
  // A stop before the listen loop runs would be lost, and the destructor would wait forever.
  while (!state_->server.is_running()) std::this_thread::yield();
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
  release();
  state_->server.stop();
  state_->thread.join();
}

int LoopbackHTTPServer::port() const { return state_->port; }

std::string LoopbackHTTPServer::url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(pathAndQuery);
}

void LoopbackHTTPServer::script(std::string path, ScriptedReply reply) {
  std::lock_guard lock(state_->mutex);
  state_->replies.insert_or_assign(std::move(path), std::move(reply));
}

std::vector<RecordedRequest> LoopbackHTTPServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

void LoopbackHTTPServer::release() {
  {
    std::lock_guard lock(state_->mutex);
    state_->releasing = true;
  }
  state_->released.notify_all();
}

}  // namespace platform::testing
