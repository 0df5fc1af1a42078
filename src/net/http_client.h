// A minimal HTTP/1.0 client: one GET, the first few characters of the body.
// Used by the update check to read the newest published version number.
#ifndef PIXOLUNE_NET_HTTP_CLIENT_H_
#define PIXOLUNE_NET_HTTP_CLIENT_H_

#include <functional>
#include <string>
#include <string_view>

#include "platform/socket.h"  // HostResolver, setHostResolver

namespace pixolune {

/// Sent when the caller gives no user-agent text.
constexpr char kFallbackUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; en)";

/// Bytes of the reply that are read at most; the rest is never read.
constexpr int kReplyBufferSize = 2048;

/// The whole exchange (name lookup, connect, send and every receive) ends
/// after this long.
constexpr int kFetchTimeLimitMs = 10000;

/// A version text is 1 to this many characters, each a digit or a dot, the
/// first a digit ("281", "2.8.1"). Real version files hold three digits.
constexpr size_t kMaxVersionTextLength = 16;

/// The parts of an address "http://host[:port]/path".
struct UrlParts {
  std::string host;
  std::string path;  // Always begins with "/".
  int port = 80;
  bool ok = false;   // False for an empty host or a port that is not 1..65535.
};

/// Splits an address. A scheme ("http://") is dropped; without a path the
/// path is "/"; without a port it is 80.
UrlParts splitUrl(std::string_view url);

/// The request fetchVersionText sends: the GET line, Host, Accept,
/// User-Agent and Connection lines, each ended by CR LF, then an empty line.
std::string buildRequest(const UrlParts& url, std::string_view user_agent);

/// True when `text` is a well-formed version text (kMaxVersionTextLength).
bool isVersionText(std::string_view text);

/// The text a reply yields: the part after the first empty line (CR LF CR LF)
/// up to the next one or the end, stopping at a NUL byte, with spaces, tabs,
/// CR and LF removed from both ends; its first three characters. Empty when
/// the reply has no empty line, when its status line is not "HTTP/" with a
/// 2xx status (an error page is never a version), or when the trimmed body
/// is not isVersionText.
std::string versionTextOfReply(std::string_view reply);

/// Performs one HTTP/1.0 GET of `url` and returns versionTextOfReply of the
/// first kReplyBufferSize bytes of the reply. Returns empty text on any
/// failure: empty or unusable address, unknown host, refused connection, or
/// a reply the server has not finished (closed) within `time_limit_ms` of the
/// start, however slowly it keeps sending. A full buffer ends the read early.
/// An empty `user_agent` sends kFallbackUserAgent. Blocks the calling thread
/// for at most `time_limit_ms`, name lookup included (a lookup still running
/// then is left to finish on its own thread). Any thread may call it.
std::string fetchVersionText(std::string_view url, std::string_view user_agent,
                             int time_limit_ms = kFetchTimeLimitMs);


}  // namespace pixolune

#endif  // PIXOLUNE_NET_HTTP_CLIENT_H_
