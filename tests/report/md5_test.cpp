// The platform's MD5 against the test suite of RFC 1321.
#include "report/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace kestrel {
namespace {

std::string Hex(const std::uint8_t (&digest)[kMd5DigestSize]) {
  std::string out;
  char two[3];
  for (std::uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

struct Vector {
  const char* message;
  const char* digest;
};

constexpr Vector kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"1234567890123456789012345678901234567890123456789012345678901234567890"
     "1234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5, MatchesTheRfc1321Suite) {
  for (const Vector& v : kRfc1321Suite) {
    std::uint8_t digest[kMd5DigestSize];
    std::string message = v.message;
    ASSERT_TRUE(Md5(message.data(), message.size(), digest));
    EXPECT_EQ(Hex(digest), v.digest) << '"' << v.message << '"';
  }
}

}  // namespace
}  // namespace kestrel
