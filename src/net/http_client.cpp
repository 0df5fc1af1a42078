#include "net/http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/mutex.h"

namespace pixolune {

namespace {

using Clock = std::chrono::steady_clock;

/// Closes the socket when it goes out of scope.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

/// Milliseconds left before `deadline`, 0 when it has passed.
int remainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

/// Waits until `fd` is ready for `events` or the deadline passes. True when
/// ready (an error or hang-up on the socket also counts as ready, so that the
/// following call reports it).
bool waitFor(int fd, short events, Clock::time_point deadline) {
  while (true) {
    int left = remainingMs(deadline);
    if (left == 0) return false;
    pollfd entry{fd, events, 0};
    int n = poll(&entry, 1, left);
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

/// A non-blocking socket connected to one address, or -1.
int connectOne(const addrinfo& address, Clock::time_point deadline) {
  Socket socket_fd(socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                          address.ai_protocol));
  if (socket_fd.fd() < 0) return -1;
  if (connect(socket_fd.fd(), address.ai_addr, address.ai_addrlen) == 0) return socket_fd.release();
  if (errno != EINPROGRESS) return -1;
  if (!waitFor(socket_fd.fd(), POLLOUT, deadline)) return -1;
  int error = 0;
  socklen_t length = sizeof(error);
  if (getsockopt(socket_fd.fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return -1;
  return socket_fd.release();
}

struct AddressListDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

/// The resolver in use; never destroyed, so that a lookup thread still
/// running at exit does not meet a destroyed object.
Mutex& resolverMutex() {
  static auto* mutex = new Mutex;
  return *mutex;
}
HostResolver& resolverSlot() {
  static auto* resolver = new HostResolver;
  return *resolver;
}

HostResolver currentResolver() {
  MutexLock hold(&resolverMutex());
  if (resolverSlot()) return resolverSlot();
  return [](const std::string& host, const std::string& port, const addrinfo& hints, addrinfo** found) {
    return getaddrinfo(host.c_str(), port.c_str(), &hints, found);
  };
}

/// One lookup, shared by the caller and the thread doing it, so that the
/// caller can give up at its deadline and the thread finish later alone.
struct Lookup {
  Mutex mutex;
  CondVar finished;
  bool done GUARDED_BY(mutex) = false;
  AddressList found GUARDED_BY(mutex);  // Null when the lookup failed.
};

/// The addresses of the URL's host, or null when the lookup fails or has
/// not ended by the deadline (getaddrinfo itself cannot be given one).
AddressList lookUp(const UrlParts& url, Clock::time_point deadline) {
  auto lookup = std::make_shared<Lookup>();
  auto resolve = [lookup, resolver = currentResolver(), host = url.host, port = std::to_string(url.port)] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (resolver(host, port, hints, &found) != 0) found = nullptr;
    MutexLock hold(&lookup->mutex);
    lookup->found.reset(found);
    lookup->done = true;
    lookup->finished.notifyAll();
  };
  try {
    std::thread(std::move(resolve)).detach();
  } catch (const std::system_error&) {
    return nullptr;  // No thread to look up with: as if the host were unknown.
  }
  MutexLock hold(&lookup->mutex);
  while (!lookup->done)
    if (!lookup->finished.waitUntil(&lookup->mutex, deadline) && !lookup->done) return nullptr;
  return std::move(lookup->found);
}

/// Looks the host up and connects to the first address that answers.
int connectTo(const UrlParts& url, Clock::time_point deadline) {
  AddressList found = lookUp(url, deadline);
  int fd = -1;
  for (addrinfo* a = found.get(); a && fd < 0 && remainingMs(deadline) > 0; a = a->ai_next) fd = connectOne(*a, deadline);
  return fd;
}

bool sendAll(int fd, const std::string& bytes, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!waitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

/// Receives into `buffer` until the server closes the connection, a receive
/// fails or the buffer is full. False when the deadline passes first.
bool receiveReply(int fd, std::array<char, kReplyBufferSize>& buffer, size_t* held, Clock::time_point deadline) {
  while (*held < buffer.size()) {
    if (!waitFor(fd, POLLIN, deadline)) return false;
    ssize_t n = recv(fd, buffer.data() + *held, buffer.size() - *held, 0);
    if (n > 0) {
      *held += static_cast<size_t>(n);
    } else if (n == 0) {
      return true;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      return true;  // A broken connection ends the reply; what came counts.
    }
  }
  return true;
}

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

/// True when the reply's status line is "HTTP/<version> 2xx[ reason]".
bool isSuccessReply(std::string_view reply) {
  std::string_view status_line = reply.substr(0, reply.find("\r\n"));
  if (!status_line.starts_with("HTTP/")) return false;
  size_t space = status_line.find(' ');
  if (space == std::string_view::npos) return false;
  std::string_view code = status_line.substr(space + 1, 4);
  return code.size() >= 3 && code[0] == '2' && isDigit(code[1]) && isDigit(code[2]) &&
         (code.size() == 3 || code[3] == ' ');
}

}  // namespace

UrlParts splitUrl(std::string_view url) {
  UrlParts parts;
  size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  size_t slash = url.find('/');
  std::string_view site = url.substr(0, slash);
  parts.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
  size_t colon = site.rfind(':');
  if (colon != std::string_view::npos) {
    std::string port(site.substr(colon + 1));
    char* end = nullptr;
    long number = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || number < 1 || number > 65535) return parts;
    parts.port = static_cast<int>(number);
    site = site.substr(0, colon);
  }
  parts.host = std::string(site);
  parts.ok = !parts.host.empty();
  return parts;
}

std::string buildRequest(const UrlParts& url, std::string_view user_agent) {
  std::string agent = user_agent.empty() ? std::string(kFallbackUserAgent) : std::string(user_agent);
  return "GET " + url.path + " HTTP/1.0\r\n" + "Host: " + url.host + "\r\n" + "Accept: */*\r\n" +
         "User-Agent: " + agent + "\r\n" + "Connection: close\r\n" + "\r\n";
}

bool isVersionText(std::string_view text) {
  if (text.empty() || text.size() > kMaxVersionTextLength) return false;
  if (!isDigit(text.front())) return false;
  for (char c : text) {
    if (c != '.' && !isDigit(c)) return false;
  }
  return true;
}

std::string versionTextOfReply(std::string_view reply) {
  reply = reply.substr(0, reply.find('\0'));
  if (!isSuccessReply(reply)) return {};
  size_t start = reply.find("\r\n\r\n");
  if (start == std::string_view::npos) return {};
  std::string_view body = reply.substr(start + 4);
  body = body.substr(0, body.find("\r\n\r\n"));
  constexpr std::string_view kBlank = " \t\r\n";
  size_t first = body.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  body = body.substr(first, body.find_last_not_of(kBlank) - first + 1);
  if (!isVersionText(body)) return {};
  return std::string(body.substr(0, 3));
}

std::string fetchVersionText(std::string_view url, std::string_view user_agent, int time_limit_ms) {
  if (url.empty()) return {};
  UrlParts parts = splitUrl(url);
  if (!parts.ok) return {};
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(time_limit_ms);
  Socket connection(connectTo(parts, deadline));
  if (connection.fd() < 0) return {};
  if (!sendAll(connection.fd(), buildRequest(parts, user_agent), deadline)) return {};
  std::array<char, kReplyBufferSize> buffer{};
  size_t held = 0;
  if (!receiveReply(connection.fd(), buffer, &held, deadline)) return {};
  return versionTextOfReply(std::string_view(buffer.data(), held));
}

HostResolver setHostResolver(HostResolver resolver) {
  MutexLock hold(&resolverMutex());
  HostResolver before = std::move(resolverSlot());
  resolverSlot() = std::move(resolver);
  return before;
}

}  // namespace pixolune
