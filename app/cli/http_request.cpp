#include "app/cli/http_request.h"

#include <algorithm>
#include <cstdio>

namespace kestrel {

namespace {

bool IsTokenChar(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c != '\0' &&
          std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos);
}

bool IsToken(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return IsTokenChar(static_cast<unsigned char>(c));
  });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

std::string_view Trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// method SP request-target SP HTTP/d.d
bool ParseRequestLine(std::string_view line, HttpRequest* r) {
  const std::size_t space1 = line.find(' ');
  if (space1 == std::string_view::npos) return false;
  const std::size_t space2 = line.find(' ', space1 + 1);
  if (space2 == std::string_view::npos) return false;
  r->method = line.substr(0, space1);
  r->target = line.substr(space1 + 1, space2 - space1 - 1);
  const std::string_view version = line.substr(space2 + 1);
  if (!IsToken(r->method) || r->target.empty()) return false;
  for (const char c : r->target) {
    if (c < '!' || c > '~') return false;
  }
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[5] < '0' ||
      version[5] > '9' || version[6] != '.' || version[7] < '0' || version[7] > '9') {
    return false;
  }
  r->majorVersion = version[5] - '0';
  r->minorVersion = version[7] - '0';
  return true;
}

// field-name ":" OWS field-value OWS; the value's bytes were checked by
// the caller. Only the fields the answer depends on are looked at.
bool ParseHeaderLine(std::string_view line, HttpRequest* r) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view name = line.substr(0, colon);
  if (!IsToken(name)) return false;  // also a folded line, or a space before the colon
  std::string_view value = Trimmed(line.substr(colon + 1));
  if (EqualsNoCase(name, "Connection")) {
    while (!value.empty()) {
      const std::size_t comma = std::min(value.find(','), value.size());
      const std::string_view option = Trimmed(value.substr(0, comma));
      if (EqualsNoCase(option, "close")) r->closeAsked = true;
      value.remove_prefix(std::min(comma + 1, value.size()));
    }
  } else if (EqualsNoCase(name, "Content-Length") || EqualsNoCase(name, "Transfer-Encoding")) {
    r->hasBody = true;
  } else if (EqualsNoCase(name, "Host")) {
    ++r->hostFields;
  }
  return true;
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 431:
      return "Request Header Fields Too Large";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Bad Request";
  }
}

// IMF-fixdate, "Sun, 06 Nov 1994 08:49:37 GMT", in English whatever the
// locale.
std::string HttpDate(std::time_t now) {
  static const char kDays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm t{};
  gmtime_r(&now, &t);
  char text[80];  // room for any int the fields could hold
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday % 7],
                t.tm_mday, kMonths[t.tm_mon % 12], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

}  // namespace

HeadStatus ParseRequestHead(std::string_view data, HttpRequest* request) {
  *request = HttpRequest{};
  const std::size_t limit = std::min(data.size(), kMaxRequestHead);
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '\r') {
      if (i + 1 < data.size() && data[i + 1] != '\n') return HeadStatus::kBad;
      continue;
    }
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return HeadStatus::kBad;
    if (c != '\n') continue;
    if (i == 0 || data[i - 1] != '\r') return HeadStatus::kBad;  // a bare LF
    const std::string_view line = data.substr(lineStart, i - 1 - lineStart);
    lineStart = i + 1;
    if (request->method.empty()) {
      // Empty lines before the request line are passed over (within the
      // bound), as after a client's stray CRLF.
      if (!line.empty() && !ParseRequestLine(line, request)) return HeadStatus::kBad;
    } else if (line.empty()) {
      request->headLength = i + 1;
      return HeadStatus::kComplete;
    } else if (!ParseHeaderLine(line, request)) {
      return HeadStatus::kBad;
    }
  }
  return data.size() >= kMaxRequestHead ? HeadStatus::kTooLarge : HeadStatus::kIncomplete;
}

HttpAnswer ChooseAnswer(HeadStatus head, const HttpRequest& request) {
  HttpAnswer answer;
  answer.close = true;
  if (head != HeadStatus::kComplete) {
    answer.status = head == HeadStatus::kTooLarge ? 431 : 400;
    return answer;
  }
  if (request.majorVersion != 1) {
    answer.status = 505;
    return answer;
  }
  // HTTP/1.1 keeps the connection unless asked not to; an HTTP/1.0 client
  // gets one answer per connection, keep-alive or not. A request with a
  // body is answered and its connection closed: the body is never read,
  // so it cannot be taken for the next request.
  if (request.minorVersion >= 1 && request.hostFields != 1) {
    answer.status = 400;
    return answer;
  }
  answer.close = request.minorVersion == 0 || request.closeAsked || request.hasBody;
  answer.headOnly = request.method == "HEAD";
  // The path of an origin-form target or of an absolute one
  // ("http://host:port/metrics"). The query is ignored: the parameters of
  // a scrape configuration change nothing here.
  std::string_view path = request.target;
  if (path.front() != '/') {
    const std::size_t scheme = path.find("://");
    const std::size_t slash =
        scheme == std::string_view::npos ? scheme : path.find('/', scheme + 3);
    path = slash == std::string_view::npos ? path : path.substr(slash);
  }
  path = path.substr(0, path.find('?'));
  if (path != "/metrics") {
    answer.status = 404;
  } else {
    answer.status = request.method == "GET" || answer.headOnly ? 200 : 405;
  }
  return answer;
}

std::string ComposeAnswerHead(const HttpAnswer& answer, std::size_t metricsLength,
                              std::time_t now) {
  const std::string status = std::to_string(answer.status) + " " + ReasonPhrase(answer.status);
  const std::string body = answer.status == 200 ? std::string() : status + "\n";
  std::string head = "HTTP/1.1 " + status + "\r\nDate: " + HttpDate(now) + "\r\n";
  head += answer.status == 200 ? "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
                               : "Content-Type: text/plain; charset=utf-8\r\n";
  head += "Content-Length: " + std::to_string(answer.status == 200 ? metricsLength : body.size()) +
          "\r\n";
  if (answer.status == 405) head += "Allow: GET, HEAD\r\n";
  if (answer.close) head += "Connection: close\r\n";
  head += "\r\n";
  if (!answer.headOnly) head += body;
  return head;
}

}  // namespace kestrel
