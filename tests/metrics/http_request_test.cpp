// The metrics server's requests: which answer a head gets, where the
// bound of a head falls, and the answer's head itself.
#include "app/cli/http_request.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

struct Case {
  const char* head;
  int status;
  bool close;
  bool headOnly = false;
};

TEST(MetricsHttp, AnswerToEachHead) {
  const Case cases[] = {
      {"GET /metrics HTTP/1.1\r\nHost: k\r\n\r\n", 200, false},
      {"HEAD /metrics HTTP/1.1\r\nHost: k\r\n\r\n", 200, false, true},
      {"GET /metrics?name[]=x HTTP/1.1\r\nhOST:k \r\n\r\n", 200, false},
      {"GET http://k:9586/metrics HTTP/1.1\r\nHost: k\r\n\r\n", 200, false},
      {"\r\nGET /metrics HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", 200, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\r\nConnection: Keep-Alive, CLOSE\r\n\r\n", 200, true},
      {"POST /metrics HTTP/1.1\r\nHost: k\r\nContent-Length: 5\r\n\r\n", 405, true},
      {"DELETE /metrics HTTP/1.1\r\nHost: k\r\n\r\n", 405, false},
      {"get /metrics HTTP/1.1\r\nHost: k\r\n\r\n", 405, false},
      {"GET /metrics/ HTTP/1.1\r\nHost: k\r\n\r\n", 404, false},
      {"HEAD * HTTP/1.1\r\nHost: k\r\n\r\n", 404, false, true},
      {"GET / HTTP/1.1\r\nHost: k\r\nTransfer-Encoding: chunked\r\n\r\n", 404, true},
      {"GET /metrics HTTP/1.1\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\r\nHost: l\r\n\r\n", 400, true},
      {"GET /metrics HTTP/2.0\r\nHost: k\r\n\r\n", 505, true},
      // Malformed: bare LF, CR inside a line, control bytes, spacing,
      // a folded line, a space before the colon, no colon, a bad version.
      {"GET /metrics HTTP/1.1\nHost: k\n\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\rX\r\n\r\n", 400, true},
      {"GET /met\x01rics HTTP/1.1\r\nHost: k\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\x7f\r\n\r\n", 400, true},
      {"GET  /metrics HTTP/1.1\r\nHost: k\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost: k\r\n folded\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost : k\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.1\r\nHost\r\n\r\n", 400, true},
      {"GET /metrics HTTP/1.10\r\nHost: k\r\n\r\n", 400, true},
      {"GET /m\xe9trics HTTP/1.1\r\nHost: k\r\n\r\n", 400, true},
      // Garbage is refused before any line ends.
      {"\x16\x03\x01\x02", 400, true},
  };
  for (const Case& c : cases) {
    HttpRequest request;
    const HeadStatus head = ParseRequestHead(c.head, &request);
    ASSERT_NE(head, HeadStatus::kIncomplete) << c.head;
    const HttpAnswer answer = ChooseAnswer(head, request);
    EXPECT_EQ(answer.status, c.status) << c.head;
    EXPECT_EQ(answer.close, c.close) << c.head;
    EXPECT_EQ(answer.headOnly, c.headOnly) << c.head;
  }
}

TEST(MetricsHttp, HeadIsBoundedAsAWhole) {
  const std::string start = "GET /metrics HTTP/1.1\r\nHost: k\r\n";
  const auto padded = [&](std::size_t size, const std::string& end) {
    return start + "X: " + std::string(size - start.size() - 5 - end.size(), 'a') + "\r\n" + end;
  };
  std::string manyLines = start;
  for (int i = 0; i < 2000; ++i) manyLines += "X: y\r\n";
  const std::string pipelined = start + "\r\nGET /x HTTP/1.1\r\n";
  const struct {
    std::string data;
    HeadStatus status;
  } cases[] = {
      {start, HeadStatus::kIncomplete},
      {start + "\r", HeadStatus::kIncomplete},
      {padded(kMaxRequestHead, "\r\n"), HeadStatus::kComplete},
      {padded(kMaxRequestHead + 1, "\r\n"), HeadStatus::kTooLarge},
      {padded(kMaxRequestHead - 1, ""), HeadStatus::kIncomplete},
      {padded(kMaxRequestHead, ""), HeadStatus::kTooLarge},
      {manyLines, HeadStatus::kTooLarge},
      {pipelined, HeadStatus::kComplete},
  };
  for (const auto& c : cases) {
    HttpRequest request;
    EXPECT_EQ(ParseRequestHead(c.data, &request), c.status) << c.data.size();
  }
  HttpRequest request;
  ASSERT_EQ(ParseRequestHead(pipelined, &request), HeadStatus::kComplete);
  EXPECT_EQ(request.headLength, start.size() + 2);
  EXPECT_EQ(request.target, "/metrics");
}

TEST(MetricsHttp, AnswerHeads) {
  const std::time_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  const std::string date = "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n";
  const struct {
    HttpAnswer answer;
    std::string text;
  } cases[] = {
      {{200, false, false},
       "HTTP/1.1 200 OK\r\n" + date +
           "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\nContent-Length: "
           "1234\r\n\r\n"},
      {{405, false, false},
       "HTTP/1.1 405 Method Not Allowed\r\n" + date +
           "Content-Type: text/plain; charset=utf-8\r\nContent-Length: 23\r\n"
           "Allow: GET, HEAD\r\n\r\n405 Method Not Allowed\n"},
      {{431, true, true},
       "HTTP/1.1 431 Request Header Fields Too Large\r\n" + date +
           "Content-Type: text/plain; charset=utf-8\r\nContent-Length: 36\r\n"
           "Connection: close\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ComposeAnswerHead(c.answer, 1234, now), c.text);
  }
}

}  // namespace
}  // namespace kestrel
