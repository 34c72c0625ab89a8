#pragma once
// A server on 127.0.0.1 for the usage ping of a start: it records each request up to
// its empty line and answers it with a fixed reply, or holds the connection silent
// until the client gives up.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::testing {

class LoopbackServer {
 public:
  LoopbackServer(std::string reply, bool hold) : reply_(std::move(reply)), hold_(hold) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  bool wait(int fd) const {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 20) > 0;
  }

  void run() {
    while (!stop_) {
      if (!wait(listener_)) continue;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      serve(fd);
      ::close(fd);
    }
  }

  void serve(int fd) {
    std::string request;
    char buffer[4096];
    while (!stop_ && request.find("\r\n\r\n") == std::string::npos) {
      if (!wait(fd)) continue;
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, size_t(got));
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    if (hold_) {
      while (!stop_) {
        if (wait(fd) && ::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
      }
      return;
    }
    ::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
  }

  std::string reply_;
  bool hold_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens: bound for a moment, then given back.
inline int ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
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
