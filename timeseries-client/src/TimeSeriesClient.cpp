#include "TimeSeries/TimeSeriesClient.hpp"

#include <nlohmann/json.hpp>

#include "Delivery.hpp"
#include "Gzip.hpp"

namespace TimeSeries {
namespace {

bool isHTTP(std::string_view scheme) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  std::string folded(scheme);
  for (char& c : folded) c = lower(c);
  return folded == "http" || folded == "https";
}

// Only these go out: anything else would be sent nowhere, or read locally (file:).
std::optional<platform::URL> sendableURL(const std::optional<platform::URLComponents>& components) {
  if (!components || !components->scheme() || !isHTTP(*components->scheme())) return std::nullopt;
  if (!components->percentEncodedHost() || components->percentEncodedHost()->empty()) return std::nullopt;
  return components->url();
}

// Deeper than any answer a server means: printing or copying such a body recurses once per
// level, and a hostile server could nest it until the stack overflows.
constexpr std::size_t deepestBody = 512;

// Answers whether the text is JSON nested no deeper than `deepestBody`, without building it.
class ShallowJSON final : public nlohmann::json_sax<nlohmann::ordered_json> {
 public:
  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t, const string_t&) override { return true; }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override { return ++depth_ <= deepestBody; }
  bool key(string_t&) override { return true; }
  bool end_object() override { return --depth_, true; }
  bool start_array(std::size_t) override { return ++depth_ <= deepestBody; }
  bool end_array() override { return --depth_, true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  std::size_t depth_ = 0;
};

std::optional<nlohmann::ordered_json> jsonObject(const platform::Data& body) {
  ShallowJSON shallow;
  if (!nlohmann::ordered_json::sax_parse(body.view(), &shallow)) return std::nullopt;
  nlohmann::ordered_json json = nlohmann::ordered_json::parse(body.view(), nullptr, false);
  if (!json.is_object()) return std::nullopt;
  return json;
}

}  // namespace

std::shared_ptr<TimeSeriesClient> TimeSeriesClient::make(std::string url, TimeSeriesOptions options,
                                                         platform::HTTPHeaderFields additionalHeaders,
                                                         std::shared_ptr<platform::HTTPTransport> transport) {
  if (url.ends_with('/')) url.pop_back();
  if (!transport) transport = platform::HTTPTransport::make();
  return std::make_shared<TimeSeriesClient>(Passkey{}, std::move(url), std::move(options), std::move(additionalHeaders),
                                            std::move(transport));
}

TimeSeriesClient::TimeSeriesClient(Passkey, std::string url, TimeSeriesOptions options,
                                   platform::HTTPHeaderFields additionalHeaders,
                                   std::shared_ptr<platform::HTTPTransport> transport)
    : url_(std::move(url)),
      options_(std::move(options)),
      additionalHeaders_(std::move(additionalHeaders)),
      transport_(std::move(transport)),
      queryAPI_(*this),
      deleteAPI_(*this) {}

std::shared_ptr<QueryAPI> TimeSeriesClient::queryAPI() { return {shared_from_this(), &queryAPI_}; }

std::shared_ptr<DeleteAPI> TimeSeriesClient::deleteAPI() { return {shared_from_this(), &deleteAPI_}; }

void TimeSeriesClient::httpPost(const std::optional<platform::URLComponents>& components,
                                const std::string& contentType, const std::string& accept, Compression compression,
                                platform::Data body, std::shared_ptr<platform::Executor> responseQueue,
                                Completion completion) const {
  requireQueue(responseQueue);
  const std::optional<platform::URL> url = sendableURL(components);
  if (!url) {
    const auto invalid = std::make_exception_ptr(TimeSeriesError::generic("Invalid URL"));
    deliver(*responseQueue, std::move(completion),
            Outcome::failure(TimeSeriesError::error(-1, std::nullopt, std::nullopt, invalid)));
    return;
  }
  const bool compressed = options_.enableGzip && compression == Compression::request;
  if (compressed) {
    try {
      body = gzipped(body);
    } catch (...) {
      deliver(*responseQueue, std::move(completion), Outcome::failure(unsent(std::current_exception())));
      return;
    }
  }
  platform::HTTPRequest request;
  request.url = url->absoluteString();
  request.method = "POST";
  request.headers = {{"Content-Type", contentType},
                     {"Content-Length", std::to_string(body.size())},
                     {"Accept", accept},
                     {"Accept-Encoding", "identity"},
                     {"Content-Encoding", compressed ? "gzip" : "identity"}};
  request.headers.insert(request.headers.end(), additionalHeaders_.begin(), additionalHeaders_.end());
  request.body = std::move(body);
  request.idleTimeout = options_.timeout;
  request.decompress = true;
  transport_->send(std::move(request), [responseQueue = std::move(responseQueue),
                                        completion = std::move(completion)](platform::HTTPReply reply) mutable {
    // The block takes the queue along, so that the transport's thread never holds its last
    // owner: that one would wait for the queue's worker, which may be ending the client.
    platform::Executor& queue = *responseQueue;
    queue.async([responseQueue = std::move(responseQueue), completion = std::move(completion),
                 reply = std::move(reply)]() mutable { completion(checkResponse(std::move(reply))); });
  });
}

TimeSeriesClient::Outcome TimeSeriesClient::checkResponse(platform::HTTPReply reply) {
  if (reply.error)
    return Outcome::failure(
        TimeSeriesError::error(-1, std::nullopt, jsonObject(reply.body), std::make_exception_ptr(*reply.error)));
  if (!reply.response)
    return Outcome::failure(TimeSeriesError::error(-2, std::nullopt, std::nullopt,
                                                   std::make_exception_ptr(TimeSeriesError::generic("Missing data"))));
  const int status = reply.response->statusCode;
  if (status >= 200 && status <= 299) return Outcome::success(std::move(reply.body));
  return Outcome::failure(
      TimeSeriesError::error(status, std::move(reply.response->headerFields), jsonObject(reply.body),
                             std::make_exception_ptr(TimeSeriesError::generic("Unsuccessful HTTP StatusCode"))));
}

}  // namespace TimeSeries
