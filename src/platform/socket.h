#ifndef PIXOLUNE_PLATFORM_SOCKET_H_
#define PIXOLUNE_PLATFORM_SOCKET_H_

// A TCP connection with a deadline on every step, name lookup included.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

struct addrinfo;

namespace pixolune {

/// A connected stream socket, or none; closed when it goes.
class StreamSocket {
 public:
  explicit StreamSocket(int fd = -1) : fd_(fd) {}
  ~StreamSocket();
  StreamSocket(StreamSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  StreamSocket(const StreamSocket&) = delete;
  StreamSocket& operator=(const StreamSocket&) = delete;
  explicit operator bool() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  int release();

 private:
  int fd_;
};

/// Looks `host` up (the lookup on a thread of its own, left to finish alone
/// when the deadline passes first) and connects to the first of its
/// addresses that answers by the deadline. None when no address did.
StreamSocket connectTo(const std::string& host, int port, std::chrono::steady_clock::time_point deadline);

/// Sends all of `bytes`. False when the connection fails or the deadline
/// passes first.
bool sendAll(const StreamSocket& socket, const std::string& bytes, std::chrono::steady_clock::time_point deadline);

/// Receives into `buffer` (of `size` bytes, `*held` of them already filled)
/// until the other side closes the connection, a receive fails (what came
/// counts) or the buffer is full. False when the deadline passes first.
bool receiveUntilClosed(const StreamSocket& socket, char* buffer, size_t size, size_t* held,
                        std::chrono::steady_clock::time_point deadline);

/// Looks a host name up the way getaddrinfo does (same result, freed with
/// freeaddrinfo). connectTo calls it on a thread of its own.
using HostResolver =
    std::function<int(const std::string& host, const std::string& port, const addrinfo& hints, addrinfo** found)>;

/// Replaces the resolver connectTo uses (tests make lookups that
/// hang); an empty function restores getaddrinfo. Returns the one replaced.
/// A lookup already running keeps the resolver it started with.
HostResolver setHostResolver(HostResolver resolver);

}  // namespace pixolune

#endif  // PIXOLUNE_PLATFORM_SOCKET_H_
