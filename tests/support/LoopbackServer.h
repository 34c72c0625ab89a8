#pragma once
// A small HTTP server on 127.0.0.1 for the tests of the usage ping: it records each
// request up to its empty line and answers by a fixed script.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvel::testing {

using namespace std::chrono_literals;

// A one-thread HTTP server on 127.0.0.1 that reads each request up to its empty line and
// answers by a fixed script, one connection after the other.
class LoopbackServer {
 public:
  struct Script {
    std::string reply;                     // sent as soon as the request has been read
    bool hold = false;                     // then keep the connection open and say nothing more
    std::chrono::milliseconds trickle{0};  // or then send one byte at this pace
  };

  explicit LoopbackServer(Script script) : script_(std::move(script)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on 127.0.0.1";
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }
  int connections() const { return connections_; }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  bool Wait(int fd, short events) const {
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, 20) > 0;
  }

  void Run() {
    while (!stop_) {
      if (!Wait(listener_, POLLIN)) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      ++connections_;
      Serve(fd);
      ::close(fd);
    }
  }

  // False when the peer has gone or the server is stopping.
  bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      if (stop_) return false;
      if (!Wait(fd, POLLOUT)) continue;
      ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent <= 0) return false;
      bytes.remove_prefix(std::size_t(sent));
    }
    return true;
  }

  void Serve(int fd) {
    std::string request;
    const auto giveUp = std::chrono::steady_clock::now() + 3s;
    while (!stop_ && request.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
      if (!Wait(fd, POLLIN)) continue;
      char buffer[4096];
      ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, std::size_t(got));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (!SendAll(fd, script_.reply)) return;
    if (script_.hold) {
      // Until the client gives up and closes.
      char byte;
      while (!stop_) {
        if (Wait(fd, POLLIN) && ::recv(fd, &byte, 1, 0) <= 0) return;
      }
    } else if (script_.trickle > 0ms) {
      while (!stop_ && SendAll(fd, "x")) std::this_thread::sleep_for(script_.trickle);
    }
  }

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens: bound for a moment, then given back.
inline int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

}  // namespace quorvel::testing
