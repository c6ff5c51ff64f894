// The metrics server's request heads. Input: the bytes a client sends.
#include <cstdint>
#include <string>
#include <string_view>

#include "app/cli/http_request.h"
#include "fuzz/fuzz_support.h"

using namespace kestrel;
using namespace kestrel::fuzz;

namespace {

bool Within(std::string_view part, std::string_view whole, std::size_t length) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  HttpRequest request;
  const HeadStatus status = ParseRequestHead(bytes, &request);
  if (status == HeadStatus::kComplete) {
    const std::size_t n = request.headLength;
    Check(n >= 4 && n <= size && n <= kMaxRequestHead, "a complete head lies within the bound");
    Check(bytes.substr(n - 4, 4) == "\r\n\r\n", "a complete head ends with its blank line");
    Check(Within(request.method, bytes, n) && Within(request.target, bytes, n),
          "method and target are parts of the head");
  }
  if (status == HeadStatus::kIncomplete) {
    Check(size < kMaxRequestHead + 4, "an open head never outgrows the bound");
  }
  // More bytes never change a verdict already given: the server answers
  // as soon as it has one.
  for (std::size_t cut : {size / 2, size > 0 ? size - 1 : 0}) {
    HttpRequest early;
    const HeadStatus first = ParseRequestHead(bytes.substr(0, cut), &early);
    if (first == HeadStatus::kIncomplete) continue;
    Check(first == status, "a verdict holds as more bytes come");
    Check(first != HeadStatus::kComplete || early.headLength == request.headLength,
          "the same head is found");
  }
  if (status == HeadStatus::kIncomplete) return 0;

  const HttpAnswer answer = ChooseAnswer(status, request);
  const int s = answer.status;
  Check(s == 200 || s == 400 || s == 404 || s == 405 || s == 431 || s == 505, "a known status");
  Check(status == HeadStatus::kComplete ||
            (answer.close && s == (status == HeadStatus::kBad ? 400 : 431)),
        "a bad or oversized head is refused and its connection closed");
  const std::string head = ComposeAnswerHead(answer, 1234, 0);
  Check(head.rfind("HTTP/1.1 ", 0) == 0 && head.size() < 512, "an answer head of its own");
  // Nothing of the request comes back: no target long enough to be told
  // apart from the answer's fixed texts appears in it.
  Check(request.target.size() < 16 || head.find(request.target) == std::string::npos,
        "the request is not echoed");
  return 0;
}
