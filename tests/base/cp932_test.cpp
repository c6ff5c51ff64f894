#include "base/cp932.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrel {
namespace {

using namespace std::literals;
constexpr auto npos = std::string_view::npos;

TEST(Cp932, FindCharSkipsSecondBytes) {
  EXPECT_EQ("ポ|"sv, "\x83\x7C|"sv);  // the build really emits code page 932
  EXPECT_EQ(FindChar("\x83\x7C", '|'), npos);
  EXPECT_EQ(FindChar("\xB1|", '|'), 1u);      // half-width katakana: one byte
  EXPECT_EQ(FindChar("ab\x83", '\x83'), 2u);  // a lone final lead is a char
}

TEST(Cp932, CutAndCopyKeepDoubleBytesWhole) {
  const std::string_view s = "a\x83|b";
  EXPECT_EQ(CutLength("ab\x83", 3), 3u);
  char buf[6];
  std::memset(buf, 'Z', sizeof buf);
  CopyText(buf, 3, s);
  EXPECT_EQ(std::string(buf, 3), "a\0Z"s);
  CopyText(buf, 1, "abc");
  EXPECT_STREQ(buf, "");
}

// Only single-byte ASCII letters fold (full-width Ａ/ａ and a trail 0x41
// against 0x61 do not); letters fold down, below '_'; a double-byte unit
// is above every single byte, half-width 0xDF included.
TEST(Cp932, MbsICompareOrder) {
  const std::pair<const char*, const char*> less[] = {
      {"abc", "ABD"},       {"ab", "AbC"}, {"_", "A"},           {"\x83\x41", "\x83\x61"},
      {"\xDF", "\x81\x40"}, {"z", "\xB1"}, {"\x81", "\x81\x40"}, {"\x82\x60", "\x82\x81"}};
  for (const auto& [a, b] : less) {
    EXPECT_LT(MbsICompare(a, b), 0) << a << " " << b;
    EXPECT_GT(MbsICompare(b, a), 0) << a << " " << b;
  }
  EXPECT_EQ(MbsICompare("Key_1", "kEY_1"), 0);
}

TEST(Cp932, Cp932ToUtf8) {
  const auto u8 = [](std::u8string_view s) { return std::string(s.begin(), s.end()); };
  EXPECT_EQ(Cp932ToUtf8("a\x83\x41\x8A\xBF\xB1\x87\x40"), u8(u8"aア漢ｱ①"));
  // Microsoft's choices: ～ U+FF5E, ＼ U+FF3C; IBM ⅰ, NEC-selected 纊, and
  // the user-defined area from U+E000.
  EXPECT_EQ(Cp932ToUtf8("\x81\x60\x81\x5F"), "\xEF\xBD\x9E\xEF\xBC\xBC");
  EXPECT_EQ(Cp932ToUtf8("\xFA\x40\xED\x40\xF0\x40"), "\xE2\x85\xB0\xE7\xBA\x8A\xEE\x80\x80");
  EXPECT_EQ(Cp932ToUtf8("a\0b"sv), "a\0b"s);
  const std::string bad = "\xEF\xBF\xBD";
  EXPECT_EQ(Cp932ToUtf8("\x85\x40"), bad);         // unassigned pair
  EXPECT_EQ(Cp932ToUtf8("a\x81"), "a" + bad);      // lead at the end
  EXPECT_EQ(Cp932ToUtf8("\x81\"x"), bad + "\"x");  // a non-trail byte survives
  EXPECT_EQ(Cp932ToUtf8("\x80\xA0\xFD\xFF"), bad + bad + bad + bad);
}

}  // namespace
}  // namespace kestrel
