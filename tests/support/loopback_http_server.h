// A tiny HTTP server for tests, bound to 127.0.0.1 only. It answers every
// connection from a script: whole pieces with a pause between them, or one
// byte at a time for ever, or nothing at all while holding the connection.
#ifndef PIXOLUNE_TESTS_SUPPORT_LOOPBACK_HTTP_SERVER_H_
#define PIXOLUNE_TESTS_SUPPORT_LOOPBACK_HTTP_SERVER_H_

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixolune::testing {

class LoopbackHttpServer {
 public:
  struct Script {
    std::vector<std::string> pieces;  // Sent in order, then the connection closes.
    int pause_ms = 0;                 // Between two pieces.
    int trickle_ms = 0;               // > 0: after the pieces, one byte per period until stopped.
    bool hold_silently = false;       // After the pieces, keep the connection open and send nothing.
    bool wait_for_release = false;    // Send nothing before release() (a server that does not answer yet).
  };

  /// Starts listening at once on a free port of 127.0.0.1.
  explicit LoopbackHttpServer(Script script);
  /// A reply made of a status line, one header and `body`.
  static Script replyWithBody(const std::string& body);
  /// The same with the status line "HTTP/1.0 " + `status` ("404 Not Found").
  static Script replyWithStatus(const std::string& status, const std::string& body);
  /// Stops the server and closes every connection.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }
  /// "http://127.0.0.1:<port>" + path.
  std::string url(const std::string& path = "/files/vemarkt.dat") const;
  /// The bytes of the most recent request, up to and including its empty line.
  std::string lastRequest() const;
  int connectionCount() const { return connections_; }
  /// Lets a wait_for_release script answer, now and from then on.
  void release() { released_ = true; }

  /// A port of 127.0.0.1 on which nobody listens (bound, then released).
  static int closedPort();

 private:
  void serve();
  void answer(int client);
  bool pauseFor(int ms) const;

  Script script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> released_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::string last_request_;
  std::thread thread_;
};

}  // namespace pixolune::testing

#endif  // PIXOLUNE_TESTS_SUPPORT_LOOPBACK_HTTP_SERVER_H_
