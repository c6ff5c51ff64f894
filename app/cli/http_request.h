// The metrics server's HTTP/1.x requests, without sockets: the head of a
// request (request line and header lines up to the blank line) read from
// the bytes received so far, the answer chosen for it, and the answer's
// head composed.
//
// The head is bounded as a whole, not line by line: a client cannot make
// the server keep more than kMaxRequestHead bytes of it. Lines end in
// CRLF; a bare LF, a CR inside a line, a control byte or a folded header
// line makes the request bad. A body is never read (see ChooseAnswer).
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace kestrel {

inline constexpr std::size_t kMaxRequestHead = 8192;

enum class HeadStatus {
  kIncomplete,  // no blank line yet, and nothing wrong so far
  kComplete,
  kBad,       // answered 400
  kTooLarge,  // no blank line within kMaxRequestHead bytes: 431
};

struct HttpRequest {
  std::size_t headLength = 0;  // through the blank line
  std::string_view method;     // views into the bytes given
  std::string_view target;
  int majorVersion = 0;
  int minorVersion = 0;
  bool closeAsked = false;  // Connection: close
  bool hasBody = false;     // Content-Length or Transfer-Encoding
  int hostFields = 0;
};

// Reads the head at the start of `data` (bytes received, possibly more
// than one request). Reports kBad as soon as the bytes so far cannot
// start a valid head, so a client sending garbage waits for nothing.
HeadStatus ParseRequestHead(std::string_view data, HttpRequest* request);

struct HttpAnswer {
  int status = 0;
  bool headOnly = false;  // HEAD: the fields of the answer, no body
  bool close = false;     // the connection ends after this answer
};

// The answer to what ParseRequestHead found (not kIncomplete).
HttpAnswer ChooseAnswer(HeadStatus head, const HttpRequest& request);

// The answer's status line and fields and the blank line; for an error
// status also its body, a fixed text (never anything of the request).
// `metricsLength`: the size of the metrics text that follows a 200.
std::string ComposeAnswerHead(const HttpAnswer& answer, std::size_t metricsLength, std::time_t now);

}  // namespace kestrel
