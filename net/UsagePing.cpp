#include "net/UsagePing.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace quorvel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long kConnectTimeoutMs = 2000;
constexpr auto kReadTimeout = std::chrono::milliseconds(2000);
// The read time-out bounds each wait, not the exchange: a server that trickles a byte
// now and then would otherwise hold the start-up for as long as it likes.
constexpr long kExchangeLimitMs = 6000;
constexpr std::size_t kLineLimit = 16384;
// The file is tiny; anything this large is not the answer we asked for, and the
// headers count too, because curl keeps every header line in memory.
constexpr std::size_t kAnswerLimit = std::size_t(1) << 20;

constexpr const char* kPath = "/morvane.xml";
constexpr const char* kAccept = "Accept: text/html, */*";
constexpr const char* kUserAgent = "User-Agent: Mozilla/3.0 (compatible; Indy Library)";

Error PingError(const std::string& reason) { return Error("Usage ping failed: " + reason); }

struct Target {
  std::string host;
  long port = 80;
};

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

// "host" or "host:port". Anything else is refused rather than pasted into a URL, where
// a '/', '@' or '?' would send the request somewhere other than where it seems to go.
Target ParseTarget(std::string_view text) {
  Target target;
  std::string_view host = text;
  if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
    host = text.substr(0, colon);
    std::string_view port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      throw PingError("bad server address " + std::string(text));
    }
    target.port = std::stol(std::string(port));
    if (target.port < 1 || target.port > 65535) {
      throw PingError("bad server address " + std::string(text));
    }
  }
  if (host.empty() || host.size() > 253 || host.front() == '-' || host.front() == '.' ||
      !std::all_of(host.begin(), host.end(), IsHostChar)) {
    throw PingError("bad server address " + std::string(text));
  }
  target.host = std::string(host);
  return target;
}

Target PingTarget() {
  const char* override = std::getenv("QUORVEL_PING_HOST");
  return ParseTarget(override && *override ? override : QUORVEL_DEFAULT_PING_HOST);
}

// What the callbacks learn while curl runs the exchange.
struct Exchange {
  CURL* curl = nullptr;
  Clock::time_point started;
  Clock::time_point lastData;
  std::size_t received = 0;
  bool location = false;
  bool accepted = false;  // a final 2xx status without a redirect has been seen
  std::string failure;    // why a callback stopped the transfer
  std::string body;

  bool Count(std::size_t bytes) {
    lastData = Clock::now();
    received += bytes;
    if (received > kAnswerLimit) {
      failure = "answer longer than " + std::to_string(kAnswerLimit) + " bytes";
      return false;
    }
    return true;
  }
};

bool StartsWithNoCase(std::string_view line, std::string_view prefix) {
  return line.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), line.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// curl hands over the status line and every header line whole, the empty line that ends
// the headers included.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::size_t bytes = size * count;
  if (!exchange.Count(bytes)) return 0;

  std::string_view line(data, bytes);
  if (line.ends_with('\n')) line.remove_suffix(1);
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.size() > kLineLimit) {
    exchange.failure = "answer line longer than " + std::to_string(kLineLimit) + " characters";
    return 0;
  }

  if (StartsWithNoCase(line, "HTTP/")) {
    // A new response begins (after an interim 1xx one): forget what the last one said.
    exchange.location = false;
  } else if (StartsWithNoCase(line, "Location:")) {
    exchange.location = true;
  } else if (line.empty()) {
    long status = 0;
    curl_easy_getinfo(exchange.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 100 && status < 200) return bytes;
    if (status < 200 || status > 299 || exchange.location) {
      // Stopping here also means no redirect is followed and no body of a refusal read.
      exchange.failure = exchange.location && status >= 200 && status <= 299
                             ? "redirect with status " + std::to_string(status)
                             : "status " + std::to_string(status);
      return 0;
    }
    exchange.accepted = true;
  }
  return bytes;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::size_t bytes = size * count;
  if (!exchange.Count(bytes)) return 0;
  exchange.body.append(data, bytes);
  return bytes;
}

// curl calls this at least once a second while it waits. The idle clock starts when the
// request goes out; before that the connect time-out is in charge.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& exchange = *static_cast<Exchange*>(user);
  curl_off_t pretransfer = 0;
  if (curl_easy_getinfo(exchange.curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) != CURLE_OK ||
      pretransfer <= 0) {
    return 0;
  }
  const auto sent = exchange.started + std::chrono::microseconds(pretransfer);
  if (Clock::now() - std::max(sent, exchange.lastData) > kReadTimeout) {
    exchange.failure =
        "no data from the server for " + std::to_string(kReadTimeout.count()) + " ms";
    return 1;
  }
  return 0;
}

template <typename Value>
void Set(CURL* curl, CURLoption option, Value value) {
  if (CURLcode code = curl_easy_setopt(curl, option, value); code != CURLE_OK) {
    throw PingError(curl_easy_strerror(code));
  }
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void InitCurlOnce() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  if (result != CURLE_OK) throw PingError(curl_easy_strerror(result));
}

}  // namespace

void SendUsagePing() {
  const Target target = PingTarget();
  InitCurlOnce();

  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) throw PingError("cannot start the HTTP client");

  const std::string authority =
      target.port == 80 ? target.host : target.host + ":" + std::to_string(target.port);
  const std::string url = "http://" + authority + kPath;

  // Our own Host, Accept and User-Agent lines replace curl's and keep this order; curl
  // adds nothing else to a plain GET without a proxy, body or encoding.
  std::unique_ptr<curl_slist, ListDeleter> headers;
  for (const std::string& line :
       {"Host: " + authority, std::string(kAccept), std::string(kUserAgent)}) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (!grown) throw PingError("out of memory");
    headers.release();
    headers.reset(grown);
  }

  Exchange exchange;
  exchange.curl = curl.get();
  char errorText[CURL_ERROR_SIZE] = {};

  CURL* handle = curl.get();
  Set(handle, CURLOPT_ERRORBUFFER, errorText);
  Set(handle, CURLOPT_URL, url.c_str());
  Set(handle, CURLOPT_PROTOCOLS_STR, "http");
  Set(handle, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
  Set(handle, CURLOPT_HTTP09_ALLOWED, 0L);
  Set(handle, CURLOPT_HTTPGET, 1L);
  Set(handle, CURLOPT_HTTPHEADER, headers.get());
  Set(handle, CURLOPT_FOLLOWLOCATION, 0L);
  // An empty proxy turns off the proxy environment variables as well.
  Set(handle, CURLOPT_PROXY, "");
  Set(handle, CURLOPT_NOPROXY, "*");
  Set(handle, CURLOPT_NOSIGNAL, 1L);
  Set(handle, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  Set(handle, CURLOPT_TIMEOUT_MS, kExchangeLimitMs);
  Set(handle, CURLOPT_HEADERFUNCTION, OnHeader);
  Set(handle, CURLOPT_HEADERDATA, &exchange);
  Set(handle, CURLOPT_WRITEFUNCTION, OnBody);
  Set(handle, CURLOPT_WRITEDATA, &exchange);
  Set(handle, CURLOPT_XFERINFOFUNCTION, OnProgress);
  Set(handle, CURLOPT_XFERINFODATA, &exchange);
  Set(handle, CURLOPT_NOPROGRESS, 0L);

  exchange.started = Clock::now();
  exchange.lastData = exchange.started;
  const CURLcode code = curl_easy_perform(handle);
  if (!exchange.failure.empty()) throw PingError(exchange.failure);
  if (code != CURLE_OK) throw PingError(*errorText ? errorText : curl_easy_strerror(code));
  if (!exchange.accepted) throw PingError("no complete answer");
  // The body has served its purpose by being fetched; it goes with `exchange`.
}

}  // namespace quorvel
