#include "platform/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/mutex.h"

namespace pixolune {

using Clock = std::chrono::steady_clock;

StreamSocket::~StreamSocket() {
  if (fd_ >= 0) close(fd_);
}

int StreamSocket::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

namespace {

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
  StreamSocket socket_fd(socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
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
AddressList lookUp(const std::string& host, int port, Clock::time_point deadline) {
  auto lookup = std::make_shared<Lookup>();
  auto resolve = [lookup, resolver = currentResolver(), host, port = std::to_string(port)] {
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

}  // namespace

StreamSocket connectTo(const std::string& host, int port, Clock::time_point deadline) {
  AddressList found = lookUp(host, port, deadline);
  int fd = -1;
  for (addrinfo* a = found.get(); a && fd < 0 && remainingMs(deadline) > 0; a = a->ai_next) fd = connectOne(*a, deadline);
  return StreamSocket(fd);
}

bool sendAll(const StreamSocket& socket, const std::string& bytes, Clock::time_point deadline) {
  const int fd = socket.fd();
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

bool receiveUntilClosed(const StreamSocket& socket, char* buffer, size_t size, size_t* held,
                        Clock::time_point deadline) {
  const int fd = socket.fd();
  while (*held < size) {
    if (!waitFor(fd, POLLIN, deadline)) return false;
    ssize_t n = recv(fd, buffer + *held, size - *held, 0);
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


HostResolver setHostResolver(HostResolver resolver) {
  MutexLock hold(&resolverMutex());
  HostResolver before = std::move(resolverSlot());
  resolverSlot() = std::move(resolver);
  return before;
}

}  // namespace pixolune
