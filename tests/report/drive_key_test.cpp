// The platform's MD5 against the test suite of RFC 1321, and the drive key
// made with it: salt, byte reversal, lower-case hex and the cut of an
// over-long text.
#include "report/drive_key.h"

#include "report/md5.h"

#include <algorithm>
#include <string>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// The empty text, one block and two blocks.
TEST(Md5, MatchesTheRfc1321Suite) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"1234567890123456789012345678901234567890123456789012345678901234567890"
       "1234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : suite) EXPECT_EQ(Md5Hex(message), digest) << message;
}

// The key of `text` salted with "tovian" and reversed, worked out here.
std::string KeyOf(const std::string& text) {
  std::string salted = text + "tovian";
  std::reverse(salted.begin(), salted.end());
  return Md5Hex(salted);
}

// The keys of serial numbers worked out independently are the report
// test's. Nine bytes: the middle one ('o' of the salt) stays where it is,
// and a double-byte character is reversed as two bytes. An over-long text
// is cut so that the salt still fits; where byte 1017 would split a
// double-byte character, the whole of it goes.
TEST(DriveKey, IsTheMd5OfTheSaltedTextReversedAndCut) {
  EXPECT_EQ(DriveKey("abc"), Md5Hex("naivotcba"));
  EXPECT_EQ(DriveKey("ア"), Md5Hex("naivot\x41\x83"));
  const std::string full(1017, 'x');
  EXPECT_EQ(DriveKey("%s", (full + "yz").c_str()), KeyOf(full));
  const std::string shorter(1016, 'x');
  EXPECT_EQ(DriveKey("%s", (shorter + "ア").c_str()), KeyOf(shorter));
}

}  // namespace
}  // namespace kestrel
