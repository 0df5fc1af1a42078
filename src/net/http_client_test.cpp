#include "net/http_client.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "support/loopback_http_server.h"

namespace pixolune {
namespace {

using testing::LoopbackHttpServer;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(SplitUrl, HostPortAndPath) {
  UrlParts full = splitUrl("http://www.example.org:8080/files/v.dat");
  EXPECT_TRUE(full.ok);
  EXPECT_EQ("www.example.org", full.host);
  EXPECT_EQ(8080, full.port);
  EXPECT_EQ("/files/v.dat", full.path);

  UrlParts bare = splitUrl("http://example.org");
  EXPECT_TRUE(bare.ok);
  EXPECT_EQ("example.org", bare.host);
  EXPECT_EQ(80, bare.port);
  EXPECT_EQ("/", bare.path);

  UrlParts no_scheme = splitUrl("example.org/a");
  EXPECT_EQ("example.org", no_scheme.host);
  EXPECT_EQ("/a", no_scheme.path);
}

TEST(SplitUrl, UnusableAddresses) {
  EXPECT_FALSE(splitUrl("").ok);
  EXPECT_FALSE(splitUrl("http:///path").ok);
  EXPECT_FALSE(splitUrl("http://host:0/").ok);
  EXPECT_FALSE(splitUrl("http://host:65536/").ok);
  EXPECT_FALSE(splitUrl("http://host:8o/").ok);
  EXPECT_FALSE(splitUrl("http://host:/").ok);
}

TEST(VersionTextOfReply, BodyAfterFirstEmptyLineTrimmedToThreeCharacters) {
  EXPECT_EQ("281", versionTextOfReply("HTTP/1.0 200 OK\r\nA: b\r\n\r\n 281\r\n"));
  EXPECT_EQ("281", versionTextOfReply("HTTP/1.0 200 OK\r\n\r\n2810"));
  EXPECT_EQ("28", versionTextOfReply("HTTP/1.0 200 OK\r\n\r\n\t28 \r\n\r\n1"));
  EXPECT_EQ("", versionTextOfReply("HTTP/1.0 404 Not Found\r\n\r\n281"));
  EXPECT_EQ("", versionTextOfReply("HTTP/1.0 200 OK\r\n281"));
  EXPECT_EQ("", versionTextOfReply("HTTP/1.0 200 OK\r\n\r\n  \r\n"));
  // The reply is text up to its first NUL byte.
  EXPECT_EQ("2", versionTextOfReply(std::string("HTTP/1.0 200 OK\r\n\r\n2\0" "81", 22)));
  EXPECT_EQ("", versionTextOfReply(std::string("HTTP/1.0\0 200 OK\r\n\r\n281", 24)));
}

TEST(VersionTextOfReply, OnlyASuccessStatusCounts) {
  const std::string body = "\r\nContent-Type: text/plain\r\n\r\n281\r\n";
  for (const char* status : {"HTTP/1.0 200 OK", "HTTP/1.1 200 OK", "HTTP/1.1 203 Non-Authoritative", "HTTP/1.0 200"}) {
    EXPECT_EQ("281", versionTextOfReply(status + body)) << status;
  }
  for (const char* status : {"HTTP/1.0 404 Not Found", "HTTP/1.1 500 Internal Server Error", "HTTP/1.1 301 Moved",
                             "HTTP/1.0 100 Continue", "HTTP/1.0 2000 OK", "HTTP/1.0 20 OK", "HTTP/1.0 2a0 OK",
                             "ICY 200 OK", "200 OK", "", "HTTP/1.0200 OK"}) {
    EXPECT_EQ("", versionTextOfReply(status + body)) << status;
  }
}

TEST(VersionTextOfReply, OnlyAWellFormedVersionCounts) {
  const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
  EXPECT_EQ("2.8", versionTextOfReply(head + "2.8.1"));
  EXPECT_EQ("281", versionTextOfReply(head + std::string(16, '1').replace(0, 3, "281")));
  for (const std::string& body : std::vector<std::string>{"abc", "28a", "281 282", "281\r\nfree download", ".281", "-281", "+281",
                                 std::string(17, '2'), std::string(1500, '9')}) {
    EXPECT_EQ("", versionTextOfReply(head + body)) << body.substr(0, 40);
  }
}

TEST(FetchVersionText, SendsExactlyTheRequestLines) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("281"));
  EXPECT_EQ("281", fetchVersionText(server.url("/files/vemarkt.dat"), "Pixolune 2.8"));
  EXPECT_EQ("GET /files/vemarkt.dat HTTP/1.0\r\n"
            "Host: 127.0.0.1\r\n"
            "Accept: */*\r\n"
            "User-Agent: Pixolune 2.8\r\n"
            "Connection: close\r\n"
            "\r\n",
            server.lastRequest());
}

TEST(FetchVersionText, EmptyUserAgentSendsTheFixedOne) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("281"));
  fetchVersionText(server.url(), "");
  EXPECT_NE(std::string::npos,
            server.lastRequest().find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; en)\r\n"));
}

TEST(FetchVersionText, AssemblesAReplySentInPieces) {
  LoopbackHttpServer::Script script;
  script.pieces = {"HTTP/1.0 200 OK\r\n", "Content-Length: 6\r\n\r", "\n 2", "81", "\r\n"};
  script.pause_ms = 60;
  LoopbackHttpServer server(script);
  EXPECT_EQ("281", fetchVersionText(server.url(), "agent"));
}

TEST(FetchVersionText, ReadsNoMoreThanTheBuffer) {
  // Headers that leave room for exactly "\r\n\r\n281" in the 2048 bytes.
  const std::string head = "HTTP/1.0 200 OK\r\nX: " + std::string(2048 - 20 - 7, 'x');
  ASSERT_EQ(2048u, (head + "\r\n\r\n281").size());
  LoopbackHttpServer fitting(LoopbackHttpServer::Script{{head + "\r\n\r\n281\r\n"}});
  EXPECT_EQ("281", fetchVersionText(fitting.url(), "agent"));
  // One byte more of header and the body's last digit lies beyond the buffer.
  LoopbackHttpServer cutting(LoopbackHttpServer::Script{{head + "x\r\n\r\n281\r\n"}});
  EXPECT_EQ("28", fetchVersionText(cutting.url(), "agent"));
}

TEST(FetchVersionText, AFullBufferEndsTheReadWithoutWaitingForTheClose) {
  LoopbackHttpServer::Script script{{"HTTP/1.0 200 OK\r\n\r\n281\r\n" + std::string(100000, ' ')}};
  script.hold_silently = true;
  LoopbackHttpServer server(script);
  Clock::time_point start = Clock::now();
  EXPECT_EQ("281", fetchVersionText(server.url(), "agent"));
  EXPECT_LT(secondsSince(start), 2.0);
}

TEST(FetchVersionText, GivesUpOnAServerThatTricklesBytesForEver) {
  LoopbackHttpServer::Script script{{"HTTP/1.0 200 OK\r\n\r\n281\r\n"}};
  script.trickle_ms = 1000;
  LoopbackHttpServer server(script);
  Clock::time_point start = Clock::now();
  EXPECT_EQ("", fetchVersionText(server.url(), "agent"));
  double elapsed = secondsSince(start);
  EXPECT_GE(elapsed, 9.9);
  EXPECT_LT(elapsed, 11.0);
}

TEST(FetchVersionText, GivesUpOnAServerThatNeverAnswers) {
  LoopbackHttpServer::Script script;
  script.hold_silently = true;
  LoopbackHttpServer server(script);
  Clock::time_point start = Clock::now();
  EXPECT_EQ("", fetchVersionText(server.url(), "agent", 300));
  EXPECT_LT(secondsSince(start), 1.5);
}

TEST(FetchVersionText, ErrorPagesAndBodiesThatAreNoVersionGiveNothing) {
  LoopbackHttpServer not_found(LoopbackHttpServer::replyWithStatus("404 Not Found", "999"));
  EXPECT_EQ("", fetchVersionText(not_found.url(), "agent"));
  LoopbackHttpServer words(LoopbackHttpServer::replyWithBody("abc"));
  EXPECT_EQ("", fetchVersionText(words.url(), "agent"));
  LoopbackHttpServer long_body(LoopbackHttpServer::replyWithBody(std::string(200, '9')));
  EXPECT_EQ("", fetchVersionText(long_body.url(), "agent"));
  LoopbackHttpServer newer(LoopbackHttpServer::replyWithBody("281\r\n"));
  EXPECT_EQ("281", fetchVersionText(newer.url(), "agent"));
}

/// Replaces the host lookup for its lifetime.
class ScopedResolver {
 public:
  explicit ScopedResolver(HostResolver resolver) : previous_(setHostResolver(std::move(resolver))) {}
  ~ScopedResolver() { setHostResolver(std::move(previous_)); }

 private:
  HostResolver previous_;
};

TEST(FetchVersionText, LooksTheHostUpThroughTheResolver) {
  LoopbackHttpServer server(LoopbackHttpServer::replyWithBody("281"));
  auto asked = std::make_shared<std::string>();
  ScopedResolver resolver([asked](const std::string& host, const std::string& port, const addrinfo& hints,
                                  addrinfo** found) {
    *asked = host + ":" + port;
    return getaddrinfo("127.0.0.1", port.c_str(), &hints, found);
  });
  const std::string url = "http://versions.invalid:" + std::to_string(server.port()) + "/v.dat";
  EXPECT_EQ("281", fetchVersionText(url, "agent"));
  EXPECT_EQ("versions.invalid:" + std::to_string(server.port()), *asked);
  EXPECT_NE(std::string::npos, server.lastRequest().find("\r\nHost: versions.invalid\r\n"));
}

TEST(FetchVersionText, ALookupThatNeverEndsDoesNotHoldTheCaller) {
  // The lookup waits until the test has its answer; without a bound on the
  // lookup the call below would never return.
  auto answered = std::make_shared<std::promise<void>>();
  std::shared_future<void> test_done = answered->get_future().share();
  auto lookups = std::make_shared<std::atomic<int>>(0);
  ScopedResolver resolver([test_done, lookups](const std::string&, const std::string&, const addrinfo&, addrinfo**) {
    ++*lookups;
    test_done.wait();
    return EAI_AGAIN;
  });
  EXPECT_EQ("", fetchVersionText("http://stuck.invalid/v.dat", "agent", 300));
  for (int i = 0; i < 1000 && lookups->load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(1, lookups->load());  // The stuck resolver was the one asked.
  answered->set_value();
}

TEST(FetchVersionText, FailsAtOnceWithoutAServer) {
  Clock::time_point start = Clock::now();
  std::string closed = "http://127.0.0.1:" + std::to_string(LoopbackHttpServer::closedPort()) + "/v.dat";
  EXPECT_EQ("", fetchVersionText(closed, "agent"));
  EXPECT_EQ("", fetchVersionText("", "agent"));
  EXPECT_EQ("", fetchVersionText("http://:80/", "agent"));
  EXPECT_LT(secondsSince(start), 1.0);
}

}  // namespace
}  // namespace pixolune
