#include "net/http_client.h"

#include <array>
#include <cctype>
#include <chrono>
#include <cstdlib>

#include "platform/socket.h"

namespace pixolune {

namespace {

using Clock = std::chrono::steady_clock;

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
  StreamSocket connection = connectTo(parts.host, parts.port, deadline);
  if (!connection) return {};
  if (!sendAll(connection, buildRequest(parts, user_agent), deadline)) return {};
  std::array<char, kReplyBufferSize> buffer{};
  size_t held = 0;
  if (!receiveUntilClosed(connection, buffer.data(), buffer.size(), &held, deadline)) return {};
  return versionTextOfReply(std::string_view(buffer.data(), held));
}

}  // namespace pixolune
