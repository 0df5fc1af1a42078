#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace pixolune::testing {

namespace {

int listenOnLoopback(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

bool readable(int fd, int ms) {
  pollfd entry{fd, POLLIN, 0};
  return poll(&entry, 1, ms) > 0;
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer(Script script) : script_(std::move(script)) {
  listener_ = listenOnLoopback(&port_);
  if (listener_ >= 0) thread_ = std::thread([this] { serve(); });
}

LoopbackHttpServer::Script LoopbackHttpServer::replyWithBody(const std::string& body) {
  return replyWithStatus("200 OK", body);
}

LoopbackHttpServer::Script LoopbackHttpServer::replyWithStatus(const std::string& status, const std::string& body) {
  return Script{{"HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n\r\n" + body}};
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string LoopbackHttpServer::lastRequest() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return last_request_;
}

int LoopbackHttpServer::closedPort() {
  int port = 0;
  int fd = listenOnLoopback(&port);
  if (fd >= 0) close(fd);
  return port;
}

void LoopbackHttpServer::serve() {
  while (!stop_) {
    if (!readable(listener_, 20)) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    answer(client);
    close(client);
  }
}

// Sleeps in small steps; false when the server is stopping.
bool LoopbackHttpServer::pauseFor(int ms) const {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (stop_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !stop_;
}

void LoopbackHttpServer::answer(int client) {
  std::string request;
  char chunk[512];
  while (request.find("\r\n\r\n") == std::string::npos && !stop_) {
    if (!readable(client, 20)) continue;
    ssize_t n = recv(client, chunk, sizeof(chunk), 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> hold(mutex_);
    last_request_ = request;
  }
  while (script_.wait_for_release && !released_) {
    if (!pauseFor(5)) return;
  }
  for (size_t i = 0; i < script_.pieces.size(); ++i) {
    if (i > 0 && !pauseFor(script_.pause_ms)) return;
    const std::string& piece = script_.pieces[i];
    if (send(client, piece.data(), piece.size(), MSG_NOSIGNAL) < 0) return;
  }
  while (script_.trickle_ms > 0 && pauseFor(script_.trickle_ms)) {
    if (send(client, "1", 1, MSG_NOSIGNAL) < 0) return;
  }
  while (script_.hold_silently && pauseFor(20)) {
  }
}

}  // namespace pixolune::testing
