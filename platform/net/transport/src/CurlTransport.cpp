// HTTPTransport over one libcurl multi handle, driven by one thread per transport.

#include <curl/curl.h>
#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "platform/net/HTTPTransport.hpp"
#include "platform/net/URIReference.hpp"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// Reserved pages cost nothing until written, so a stated length is trusted this far.
constexpr curl_off_t largestReservation = curl_off_t(1) << 30;
// The longest the thread sleeps with nothing due, so that a lost wake-up costs no more.
constexpr std::chrono::milliseconds longestWait{10'000};

Error transportError(std::int64_t code, std::string text) {
  return Error(HTTPTransport::errorDomain, code, std::move(text));
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Field names are ASCII and compare without case.
bool sameFieldName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return lower(x) == lower(y); });
}

struct Transfer {
  HTTPRequest request;
  HTTPTransport::Completion completion;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  HTTPHeaderFields headerFields;
  // Whether the latest response's head reached its blank line.
  bool headEnded = false;
  Data body;
  bool reserved = false;
  std::size_t bodySent = 0;  // of the request's body, as handed to libcurl
  // Idle time is measured here, to the millisecond: libcurl's low-speed check works in whole
  // seconds and takes a sent body's last byte for activity long after it went out.
  std::chrono::milliseconds idleTimeout;
  Clock::time_point lastActivity;
  curl_off_t downloaded = 0, uploaded = 0;

  Transfer(HTTPRequest r, HTTPTransport::Completion c)
      : request(std::move(r)),
        completion(std::move(c)),
        idleTimeout(std::max(request.idleTimeout, std::chrono::milliseconds(1))) {}
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (easy) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  void touch() { lastActivity = Clock::now(); }
  Clock::time_point idleDeadline() const { return lastActivity + idleTimeout; }

  void complete(HTTPReply reply) {
    auto done = std::move(completion);
    done(std::move(reply));
  }
  void fail(std::int64_t code, std::string text) {
    HTTPReply reply;
    reply.error = transportError(code, std::move(text));
    reply.body = std::move(body);
    complete(std::move(reply));
  }
};

std::size_t receiveBody(char* bytes, std::size_t size, std::size_t count, void* user) noexcept {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer.touch();
  if (transfer.request.sink == HTTPRequest::BodySink::discard) return length;
  try {
    if (!transfer.reserved) {
      // A stated length is only a hint: it may lie, and a compressed body grows.
      curl_off_t stated = -1;
      curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &stated);
      if (stated > 0) transfer.body.bytes().reserve(static_cast<std::size_t>(std::min(stated, largestReservation)));
      transfer.reserved = true;
    }
    transfer.body.append(reinterpret_cast<const std::uint8_t*>(bytes), length);
    return length;
  } catch (...) {
    return CURL_WRITEFUNC_ERROR;
  }
}

std::size_t receiveHeader(char* bytes, std::size_t size, std::size_t count, void* user) noexcept {
  auto& transfer = *static_cast<Transfer*>(user);
  auto& fields = transfer.headerFields;
  const std::size_t length = size * count;
  transfer.touch();
  std::string_view line(bytes, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  try {
    if (line.starts_with("HTTP/")) {
      fields.clear();  // a new response begins: an interim one or a redirect's
      transfer.headEnded = false;
    } else if (line.empty()) {
      transfer.headEnded = true;
    } else if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
      if (!fields.empty()) fields.back().second.append(" ").append(trimmed(line));
    } else if (const std::size_t colon = line.find(':'); colon != std::string_view::npos) {
      fields.emplace_back(std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))));
    }
    return length;
  } catch (...) {
    return 0;
  }
}

std::size_t sendBody(char* buffer, std::size_t size, std::size_t count, void* user) noexcept {
  auto& transfer = *static_cast<Transfer*>(user);
  const Data& body = *transfer.request.body;
  const std::size_t length = std::min(size * count, body.size() - transfer.bodySent);
  if (length == 0) return 0;
  std::memcpy(buffer, body.data() + transfer.bodySent, length);
  transfer.bodySent += length;
  transfer.touch();
  return length;
}

// A redirect that keeps the method sends the body again.
int rewindBody(void* user, curl_off_t offset, int origin) noexcept {
  auto& transfer = *static_cast<Transfer*>(user);
  if (origin != SEEK_SET || offset < 0 || static_cast<std::size_t>(offset) > transfer.request.body->size())
    return CURL_SEEKFUNC_FAIL;
  transfer.bodySent = static_cast<std::size_t>(offset);
  return CURL_SEEKFUNC_OK;
}

// Bytes that moved either way since the last call are activity, whatever callback saw them.
int observeProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) noexcept {
  auto& transfer = *static_cast<Transfer*>(user);
  if (downloaded != transfer.downloaded || uploaded != transfer.uploaded) {
    transfer.downloaded = downloaded;
    transfer.uploaded = uploaded;
    transfer.touch();
  }
  return 0;
}

// Nothing when the address may be sent; otherwise the code and text of the refusal. libcurl
// alone is lenient ("http:///x" names the host "x"), so the address must be a URI with a host too.
std::optional<std::pair<CURLcode, std::string>> refusal(const std::string& url) {
  const auto reference = URIReference::split(url);
  if (!reference || !reference->scheme)
    return std::pair{CURLE_URL_MALFORMAT, std::string(curl_url_strerror(CURLUE_MALFORMED_INPUT))};
  if (!reference->host || reference->host->empty())
    return std::pair{CURLE_URL_MALFORMAT, std::string(curl_url_strerror(CURLUE_NO_HOST))};
  CURLU* parsed = curl_url();
  if (!parsed) return std::pair{CURLE_OUT_OF_MEMORY, std::string(curl_easy_strerror(CURLE_OUT_OF_MEMORY))};
  std::optional<std::pair<CURLcode, std::string>> result;
  if (CURLUcode code = curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0); code != CURLUE_OK) {
    result = {code == CURLUE_UNSUPPORTED_SCHEME ? CURLE_UNSUPPORTED_PROTOCOL : CURLE_URL_MALFORMAT,
              curl_url_strerror(code)};
  } else {
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(parsed, CURLUPART_HOST, &host, 0);
    const std::string_view schemeText = scheme ? scheme : "";
    if (schemeText != "http" && schemeText != "https")
      result = {CURLE_UNSUPPORTED_PROTOCOL, "Protocol \"" + std::string(schemeText) + "\" not supported"};
    else if (!host || !*host)
      result = {CURLE_URL_MALFORMAT, curl_url_strerror(CURLUE_NO_HOST)};
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(parsed);
  return result;
}

template <typename Value>
void set(CURL* easy, CURLoption option, Value value) {
  if (CURLcode code = curl_easy_setopt(easy, option, value); code != CURLE_OK)
    throw transportError(code, curl_easy_strerror(code));
}

void configure(Transfer& transfer) {
  const HTTPRequest& request = transfer.request;
  CURL* easy = transfer.easy;
  set(easy, CURLOPT_PRIVATE, &transfer);
  set(easy, CURLOPT_ERRORBUFFER, transfer.errorBuffer);
  set(easy, CURLOPT_NOSIGNAL, 1L);
  set(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  set(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set(easy, CURLOPT_URL, request.url.c_str());
  set(easy, CURLOPT_WRITEFUNCTION, &receiveBody);
  set(easy, CURLOPT_WRITEDATA, &transfer);
  set(easy, CURLOPT_HEADERFUNCTION, &receiveHeader);
  set(easy, CURLOPT_HEADERDATA, &transfer);
  set(easy, CURLOPT_NOPROGRESS, 0L);
  set(easy, CURLOPT_XFERINFOFUNCTION, &observeProgress);
  set(easy, CURLOPT_XFERINFODATA, &transfer);

  set(easy, CURLOPT_FOLLOWLOCATION, request.maximumRedirects > 0 ? 1L : 0L);
  if (request.maximumRedirects > 0) set(easy, CURLOPT_MAXREDIRS, static_cast<long>(request.maximumRedirects));
  if (request.decompress) set(easy, CURLOPT_ACCEPT_ENCODING, "");

  if (request.method == "HEAD") {
    set(easy, CURLOPT_NOBODY, 1L);
  } else if (request.body) {
    // Read through a callback, so that handing the body over is seen as activity.
    set(easy, CURLOPT_POST, 1L);
    set(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
    set(easy, CURLOPT_READFUNCTION, &sendBody);
    set(easy, CURLOPT_READDATA, &transfer);
    set(easy, CURLOPT_SEEKFUNCTION, &rewindBody);
    set(easy, CURLOPT_SEEKDATA, &transfer);
    if (request.method != "POST") set(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  } else if (request.method == "GET") {
    set(easy, CURLOPT_HTTPGET, 1L);
  } else {
    set(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  bool expectGiven = false;
  for (const auto& [name, value] : request.headers) {
    expectGiven = expectGiven || sameFieldName(name, "Expect");
    // libcurl drops a field written "Name:"; "Name;" sends it empty.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    curl_slist* appended = curl_slist_append(transfer.headers, line.c_str());
    if (!appended) throw transportError(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    transfer.headers = appended;
  }
  if (!expectGiven) {
    curl_slist* appended = curl_slist_append(transfer.headers, "Expect:");
    if (!appended) throw transportError(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
    transfer.headers = appended;
  }
  set(easy, CURLOPT_HTTPHEADER, transfer.headers);
}

// Everything the transport's thread works on; it outlives the transport when that is
// destroyed on the thread itself.
class Engine {
 public:
  Engine() : multi_(curl_multi_init()) {
    if (!multi_) throw transportError(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
  }
  ~Engine() { curl_multi_cleanup(multi_); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  void enqueue(std::unique_ptr<Transfer> transfer) {
    {
      std::lock_guard lock(mutex_);
      arrived_.push_back(std::move(transfer));
    }
    curl_multi_wakeup(multi_);
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    curl_multi_wakeup(multi_);
  }

  void run() {
    while (true) {
      std::vector<std::unique_ptr<Transfer>> arrived;
      bool stopping;
      {
        std::lock_guard lock(mutex_);
        arrived.swap(arrived_);
        stopping = stopping_;
      }
      if (stopping) {
        for (auto& transfer : arrived) transfer->fail(HTTPTransport::cancelledCode, "cancelled");
        break;
      }
      for (auto& transfer : arrived) start(std::move(transfer));
      int running = 0;
      curl_multi_perform(multi_, &running);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left))
        if (message->msg == CURLMSG_DONE) finish(message->easy_handle, message->data.result);
      const std::chrono::milliseconds wait = endIdleTransfers();
      curl_multi_poll(multi_, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
    // Completions may queue more requests while these are cancelled; those are cancelled too.
    while (true) {
      auto active = std::move(active_);
      active_.clear();
      std::vector<std::unique_ptr<Transfer>> arrived;
      {
        std::lock_guard lock(mutex_);
        arrived.swap(arrived_);
      }
      if (active.empty() && arrived.empty()) break;
      for (auto& [easy, transfer] : active) {
        curl_multi_remove_handle(multi_, easy);
        transfer->fail(HTTPTransport::cancelledCode, "cancelled");
      }
      for (auto& transfer : arrived) transfer->fail(HTTPTransport::cancelledCode, "cancelled");
    }
  }

 private:
  void start(std::unique_ptr<Transfer> transfer) {
    if (auto refused = refusal(transfer->request.url)) {
      transfer->fail(refused->first, std::move(refused->second));
      return;
    }
    try {
      transfer->easy = curl_easy_init();
      if (!transfer->easy) throw transportError(CURLE_OUT_OF_MEMORY, curl_easy_strerror(CURLE_OUT_OF_MEMORY));
      configure(*transfer);
      if (CURLMcode code = curl_multi_add_handle(multi_, transfer->easy); code != CURLM_OK)
        throw transportError(CURLE_FAILED_INIT, curl_multi_strerror(code));
    } catch (const Error& error) {
      transfer->fail(error.code(), error.description());
      return;
    }
    CURL* easy = transfer->easy;
    transfer->touch();
    active_.emplace(easy, std::move(transfer));
  }

  // Fails every transfer idle for its time-out; answers how long until the next one may be.
  std::chrono::milliseconds endIdleTransfers() {
    const Clock::time_point now = Clock::now();
    Clock::time_point earliest = now + longestWait;
    std::vector<std::unique_ptr<Transfer>> idle;
    for (auto it = active_.begin(); it != active_.end();) {
      if (now < it->second->idleDeadline()) {
        earliest = std::min(earliest, it->second->idleDeadline());
        ++it;
        continue;
      }
      curl_multi_remove_handle(multi_, it->first);
      idle.push_back(std::move(it->second));
      it = active_.erase(it);
    }
    // Completions run last: they may send, which never touches `active_` from here.
    for (auto& transfer : idle)
      transfer->fail(CURLE_OPERATION_TIMEDOUT,
                     "Nothing sent or received for " + std::to_string(transfer->idleTimeout.count()) + " milliseconds");
    return std::chrono::ceil<std::chrono::milliseconds>(earliest - now);
  }

  void finish(CURL* easy, CURLcode result) {
    auto found = active_.find(easy);
    if (found == active_.end()) return;
    std::unique_ptr<Transfer> transfer = std::move(found->second);
    active_.erase(found);
    curl_multi_remove_handle(multi_, easy);
    if (result != CURLE_OK) {
      transfer->fail(result, transfer->errorBuffer[0] ? transfer->errorBuffer : curl_easy_strerror(result));
      return;
    }
    // libcurl takes a connection closed inside the head for the end of a complete reply.
    if (!transfer->headEnded) {
      transfer->fail(CURLE_PARTIAL_FILE, "The reply ended inside its head");
      return;
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    HTTPReply reply;
    reply.response = HTTPResponse{static_cast<int>(status), std::move(transfer->headerFields)};
    reply.body = std::move(transfer->body);
    transfer->complete(std::move(reply));
  }

  CURLM* multi_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> arrived_;
  bool stopping_ = false;
  std::unordered_map<CURL*, std::unique_ptr<Transfer>> active_;  // the thread's alone
};

class CurlTransport final : public HTTPTransport {
 public:
  CurlTransport() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    engine_ = std::make_shared<Engine>();
    thread_ = std::thread([engine = engine_] { engine->run(); });
    ::pthread_setname_np(thread_.native_handle(), "HTTPTransport");
  }

  ~CurlTransport() override {
    engine_->stop();
    if (std::this_thread::get_id() == thread_.get_id())
      thread_.detach();  // destroyed by a completion: the thread cancels the rest and ends by itself
    else
      thread_.join();
  }

  void send(HTTPRequest request, Completion completion) override {
    engine_->enqueue(std::make_unique<Transfer>(std::move(request), std::move(completion)));
  }

 private:
  std::shared_ptr<Engine> engine_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<HTTPTransport> HTTPTransport::make() { return std::make_unique<CurlTransport>(); }

std::optional<std::string> HTTPResponse::value(std::string_view name) const {
  for (const auto& [field, value] : headerFields)
    if (sameFieldName(field, name)) return value;
  return std::nullopt;
}

}  // namespace platform
