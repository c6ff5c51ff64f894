// The drive key: salt, byte reversal, MD5 in lower-case hex, the shared
// buffer and the cut of an over-long text.
#include "report/drive_key.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "report/md5.h"

namespace kestrel {
namespace {

// The key of `bytes` as they stand after salting and reversing.
std::string KeyOfReversed(const std::string& bytes) {
  std::uint8_t digest[kMd5DigestSize];
  EXPECT_TRUE(Md5(bytes.data(), bytes.size(), digest));
  std::string out;
  char two[3];
  for (std::uint8_t b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

std::string Reversed(std::string s) {
  std::reverse(s.begin(), s.end());
  return s;
}

TEST(DriveKey, IsTheMd5OfTheSaltedTextReversed) {
  // Worked out independently: md5("naivot2110-10-6202").
  EXPECT_STREQ(DriveKey("%s%d", "2026-01-01", 12), "e43042dbbac0de21596eb0804506a910");
  EXPECT_STREQ(DriveKey("%s%d", "HB0S1234567", 0), "03c8a5d478e75f4bf1dca6b6e03271a1");
  EXPECT_STREQ(DriveKey("%s%d", "HB0S1234567", 2), "23dbbbbefea15cd3fcc320f8ffa16620");
  // Nine bytes: the middle one ('o' of the salt) stays where it is, and a
  // double-byte character is reversed as two bytes.
  EXPECT_EQ(DriveKey("abc"), KeyOfReversed("naivotcba"));
  EXPECT_EQ(DriveKey("ア"), KeyOfReversed("naivot\x41\x83"));
}

TEST(DriveKey, EveryCallReusesOneBuffer) {
  const char* first = DriveKey("%s%d", "A", 1);
  std::string kept = first;
  const char* second = DriveKey("%s%d", "A", 1);
  EXPECT_EQ(first, second);
  EXPECT_EQ(kept, second) << "same inputs, same key";
  EXPECT_NE(kept, DriveKey("%s%d", "A", 3));
}

TEST(DriveKey, OverLongTextIsCutSoTheSaltStillFits) {
  const std::string full(1017, 'x');
  EXPECT_EQ(DriveKey("%s", (full + "yz").c_str()), KeyOfReversed(Reversed(full + "tovian")));
  // Byte 1017 would split a double-byte character: the whole of it goes.
  const std::string shorter(1016, 'x');
  EXPECT_EQ(DriveKey("%s", (shorter + "ア").c_str()), KeyOfReversed(Reversed(shorter + "tovian")));
}

}  // namespace
}  // namespace kestrel
