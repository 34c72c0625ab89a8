#include "net/UsagePing.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "support/LoopbackServer.h"

namespace quorvel {
namespace {

using testing::ClosedPort;
using testing::LoopbackServer;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Every test points the ping at a server of its own and puts the environment back after.
class UsagePingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kVariables) {
      if (const char* value = std::getenv(name)) saved_[name] = value;
    }
  }
  void TearDown() override {
    for (const char* name : kVariables) {
      if (auto it = saved_.find(name); it != saved_.end()) {
        ::setenv(name, it->second.c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
  }
  static void PointAt(const std::string& address) {
    ::setenv("QUORVEL_PING_HOST", address.c_str(), 1);
  }

 private:
  static constexpr const char* kVariables[] = {"QUORVEL_PING_HOST", "http_proxy", "HTTP_PROXY",
                                               "all_proxy",         "ALL_PROXY",  "no_proxy",
                                               "NO_PROXY"};
  std::map<std::string, std::string> saved_;
};

TEST_F(UsagePingTest, SendsTheRequestLineAndThreeHeadersByteForByte) {
  LoopbackServer server({"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"});
  PointAt(server.address());

  EXPECT_NO_THROW(SendUsagePing());

  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0],
            "GET /morvane.xml HTTP/1.1\r\n"
            "Host: " +
                server.address() +
                "\r\n"
                "Accept: text/html, */*\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                "\r\n");
}

struct AnswerCase {
  const char* name;
  std::string reply;
  bool succeeds;
};

void PrintTo(const AnswerCase& answer, std::ostream* out) { *out << answer.name; }

class UsagePingAnswerTest : public UsagePingTest,
                            public ::testing::WithParamInterface<AnswerCase> {};

// Only a final 2xx status without a redirect counts as success; nothing is ever followed,
// so every case makes exactly one connection.
TEST_P(UsagePingAnswerTest, SucceedsOnlyOnA2xxStatusAndNeverMakesASecondRequest) {
  LoopbackServer server({GetParam().reply});
  PointAt(server.address());

  if (GetParam().succeeds) {
    EXPECT_NO_THROW(SendUsagePing());
  } else {
    EXPECT_THROW(SendUsagePing(), Error);
  }
  EXPECT_EQ(server.connections(), 1);
}

// Relative, so following it would come back to the same server.
const std::string kMoved = "Location: /morvane.xml?again\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, UsagePingAnswerTest,
    ::testing::Values(
        AnswerCase{"OkWithLength", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n<x>", true},
        AnswerCase{"OkBodyUntilClose", "HTTP/1.1 200 OK\r\n\r\n<xml/>", true},
        AnswerCase{"OkChunked",
                   "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n<x>\r\n0\r\n\r\n",
                   true},
        AnswerCase{"OkHttp10", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", true},
        AnswerCase{"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", true},
        AnswerCase{"ContinueThenOk",
                   "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
                   true},
        AnswerCase{"Found", "HTTP/1.1 302 Found\r\n" + kMoved + "Content-Length: 0\r\n\r\n", false},
        AnswerCase{"MovedPermanently",
                   "HTTP/1.1 301 Moved\r\n" + kMoved + "Content-Length: 0\r\n\r\n", false},
        AnswerCase{"NotModified", "HTTP/1.1 304 Not Modified\r\n\r\n", false},
        AnswerCase{"OkWithLocation", "HTTP/1.1 200 OK\r\n" + kMoved + "Content-Length: 0\r\n\r\n",
                   false},
        AnswerCase{"Unauthorized",
                   "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n"
                   "Content-Length: 0\r\n\r\n",
                   false},
        AnswerCase{"NotFound", "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nno!", false},
        AnswerCase{"ServerError", "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n", false},
        AnswerCase{"NotHttp", "SSH-2.0-OpenSSH_9.2\r\n\r\n", false},
        AnswerCase{"ClosedWithoutAWord", "", false},
        AnswerCase{"ClosedAfterTheStatusLine", "HTTP/1.1 200 OK\r\n", false},
        AnswerCase{"BodyCutShort", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct LineCase {
  const char* name;
  std::string reply;
  bool succeeds;
};

std::string StatusLineOf(std::size_t length) {
  std::string line = "HTTP/1.1 200 ";
  return line + std::string(length - line.size(), 'K');
}
std::string HeaderLineOf(std::size_t length) {
  std::string line = "X-Pad: ";
  return line + std::string(length - line.size(), 'p');
}

void PrintTo(const LineCase& line, std::ostream* out) { *out << line.name; }

class UsagePingLineTest : public UsagePingTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(UsagePingLineTest, RefusesAnAnswerLineOver16384Characters) {
  LoopbackServer server({GetParam().reply});
  PointAt(server.address());

  if (GetParam().succeeds) {
    EXPECT_NO_THROW(SendUsagePing());
  } else {
    EXPECT_THROW(SendUsagePing(), Error);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UsagePingLineTest,
    ::testing::Values(
        LineCase{"StatusLineAtTheLimit", StatusLineOf(16384) + "\r\nContent-Length: 0\r\n\r\n",
                 true},
        LineCase{"StatusLineOverTheLimit", StatusLineOf(16385) + "\r\nContent-Length: 0\r\n\r\n",
                 false},
        LineCase{"HeaderLineAtTheLimit",
                 "HTTP/1.1 200 OK\r\n" + HeaderLineOf(16384) + "\r\nContent-Length: 0\r\n\r\n",
                 true},
        LineCase{"HeaderLineOverTheLimit",
                 "HTTP/1.1 200 OK\r\n" + HeaderLineOf(16385) + "\r\nContent-Length: 0\r\n\r\n",
                 false},
        LineCase{"HeaderLineFarOverTheLimit",
                 "HTTP/1.1 200 OK\r\n" + HeaderLineOf(300000) + "\r\nContent-Length: 0\r\n\r\n",
                 false}),
    [](const auto& info) { return std::string(info.param.name); });

struct SilenceCase {
  const char* name;
  std::string before;  // what the server says before it falls silent
};

void PrintTo(const SilenceCase& silence, std::ostream* out) { *out << silence.name; }

class UsagePingSilenceTest : public UsagePingTest,
                             public ::testing::WithParamInterface<SilenceCase> {};

// Whether the server falls silent before the status line, among the headers or within
// the body, the wait for data is bounded and the start-up goes on within seconds.
TEST_P(UsagePingSilenceTest, ASilentServerEndsThePingWithinSeconds) {
  LoopbackServer server({GetParam().before, /*hold=*/true});
  PointAt(server.address());

  const auto start = Clock::now();
  EXPECT_THROW(SendUsagePing(), Error);
  const double seconds = SecondsSince(start);

  EXPECT_GE(seconds, 1.9) << "ended before the read time-out";
  EXPECT_LT(seconds, 5.0);
}

INSTANTIATE_TEST_SUITE_P(
    Silences, UsagePingSilenceTest,
    ::testing::Values(SilenceCase{"NoAnswerAtAll", ""},
                      SilenceCase{"AfterTheStatusLine", "HTTP/1.1 200 OK\r\n"},
                      SilenceCase{"WithinTheBody",
                                  "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc"}),
    [](const auto& info) { return std::string(info.param.name); });

// Each byte arrives well within the read time-out, so only a bound on the whole exchange
// stops a server that never finishes.
TEST_F(UsagePingTest, AServerThatNeverFinishesTheBodyIsCutOff) {
  LoopbackServer server({"HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n", /*hold=*/false, 300ms});
  PointAt(server.address());

  const auto start = Clock::now();
  EXPECT_THROW(SendUsagePing(), Error);
  EXPECT_LT(SecondsSince(start), 8.0);
}

TEST_F(UsagePingTest, AnOversizedAnswerIsCutOff) {
  const std::size_t size = std::size_t(4) << 20;
  LoopbackServer server({"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n" +
                     std::string(size, 'x')});
  PointAt(server.address());

  EXPECT_THROW(SendUsagePing(), Error);
}

TEST_F(UsagePingTest, NoServerAtAllFailsAtOnce) {
  PointAt("127.0.0.1:" + std::to_string(ClosedPort()));

  const auto start = Clock::now();
  EXPECT_THROW(SendUsagePing(), Error);
  EXPECT_LT(SecondsSince(start), 1.5) << "a refused connection should not wait for a time-out";
}

TEST_F(UsagePingTest, ProxyEnvironmentVariablesAreIgnored) {
  LoopbackServer proxy({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
  LoopbackServer server({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
  const std::string proxyUrl = "http://" + proxy.address();
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::setenv(name, proxyUrl.c_str(), 1);
  }
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  PointAt(server.address());

  EXPECT_NO_THROW(SendUsagePing());
  EXPECT_EQ(server.connections(), 1);
  EXPECT_EQ(proxy.connections(), 0);
}

// An override that is not "host" or "host:port" is refused before anything is sent, so
// it cannot smuggle credentials, a path or a query into the request.
TEST_F(UsagePingTest, AMalformedServerAddressIsRefusedWithoutConnecting) {
  LoopbackServer server({"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"});
  const std::string port = std::to_string(server.port());
  const std::vector<std::string> overrides = {
      "127.0.0.1:" + port + "/other",
      "127.0.0.1:" + port + "?q=1",
      "127.0.0.1:" + port + "#top",
      "user:secret@127.0.0.1:" + port,
      " 127.0.0.1:" + port,
      "127.0.0.1:" + port + " ",
      "127.0.0.1:+" + port,
      "127.0.0.1:" + port + ":80",
      "http://127.0.0.1:" + port,
      ":" + port,
      "127.0.0.1:",
      "127.0.0.1:0",
      "127.0.0.1:65536",
      "127.0.0.1:999999",
  };
  for (const std::string& address : overrides) {
    PointAt(address);
    EXPECT_THROW(SendUsagePing(), Error) << address;
  }
  EXPECT_EQ(server.connections(), 0);
}

}  // namespace
}  // namespace quorvel
