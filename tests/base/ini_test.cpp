// The platform-free text helpers: code page 932 characters, and the INI
// reader that finds its delimiters by them.
#include "base/ini.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

#include "base/cp932.h"

namespace kestrel {
namespace {

using namespace std::literals;

// The second byte of a double-byte character is no delimiter: 0x81 0x5D and
// 0x81 0x3D end in ']' and '=', ポ (0x83 0x7C) in '|'. 0x81 0x20 is no real
// character, but a blank after a lead is no blank.
TEST(Ini, LineSyntax) {
  IniFile ini;
  ini.Parse(
      "orphan=1\r\n[ Main ]\r\n  ; note=1\r\n\tkey\t =  two  words  \r\n"
      "quoted = \"  padded  \"\r\nhalf=\"\r\nno equals here\r\nsemi=a ; b\r\n"
      "[unclosed=x\r\nlast=end\r\n[x\x81]y]\n\x81=k=v\n\x83|=\x83|\nb=x\x81 \n");
  ASSERT_EQ(ini.sections().size(), 2u);
  EXPECT_EQ(ini.sections()[0].entries.size(), 6u);  // not orphan, not "; note"
  EXPECT_EQ(ini.Get("MAIN", "KEY"), "two  words");
  EXPECT_EQ(ini.Get("main", "quoted"), "  padded  ");
  EXPECT_EQ(ini.Get("main", "half"), "\"");
  EXPECT_EQ(ini.Get("main", "semi"), "a ; b");
  EXPECT_EQ(ini.Get("main", "[unclosed"), "x");
  EXPECT_EQ(ini.Get("main", "last"), "end");
  EXPECT_EQ(ini.Get("X\x81]Y", "\x81=K"), "v");
  EXPECT_EQ(ini.Get("x\x81]y", "ポ"), "ポ");
  EXPECT_EQ(ini.Get("x\x81]y", "b"), "x\x81 ");
}

TEST(Ini, RepeatedSectionsMergeAndFirstKeyWins) {
  std::string text = "[A]\nk=1\nempty=\nK=2\n[b]\nx=1\n[a]\nk=3\nj=4\n[A]\nz=5\nempty=6\n";
  // Long runs of one name, and many keys in the merged section.
  for (int i = 0; i < 40; ++i)
    text += "[many]\nk" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  for (int i = 39; i >= 0; --i) text += "[MANY]\nK" + std::to_string(i) + "=dup\n";
  IniFile ini;
  ini.Parse(text);
  ASSERT_EQ(ini.sections().size(), 3u);
  const IniSection* a = ini.FindSection("a");
  ASSERT_EQ(a, &ini.sections()[0]);
  ASSERT_EQ(a->entries.size(), 4u);
  EXPECT_EQ(a->entries[2].key, "j");
  EXPECT_EQ(ini.Get("a", "k"), "1");
  EXPECT_EQ(ini.Get("a", "z"), "5");
  EXPECT_EQ(ini.Get("a", "empty"), "");  // the first, empty value is kept
  const IniSection& many = ini.sections()[2];
  EXPECT_EQ(many.name, "many");
  ASSERT_EQ(many.entries.size(), 40u);
  EXPECT_EQ(many.entries[0].value, "0");
  EXPECT_EQ(many.entries[39].value, "39");
}

TEST(Ini, LookupOrderAgreesWithSort) {
  // ｿ (0xDF) and '　' (0x81 0x40) order differently by bytes and by units.
  IniFile ini;
  ini.Parse("[\xDF]\nv=1\n[\x81\x40]\nv=2\n[Beta]\nv=3\n[_]\nv=4\n[alpha]\nv=5\n[]\nv=6\n");
  const char* names[] = {"\xDF", "\x81\x40", "BETA", "_", "Alpha", ""};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ini.Get(names[i], "V"), std::to_string(i + 1));
  EXPECT_EQ(ini.FindSection("gamma"), nullptr);
  EXPECT_EQ(ini.FindSection("\x81"), nullptr);
}

TEST(Ini, GetStringAndGetInt) {
  IniFile ini;
  ini.Parse(
      "[s]\npo=a\x83|b\nempty=\nnul=ab\0cd\n"
      "a=-17\nb=+5\nc=\"  12\"\nd=12abc\ne=abc\nf=0x10\nbig=99999999999\nsmall=-99999999999\n"sv);
  char buf[8];
  EXPECT_EQ(ini.GetString("s", "po", "fb", buf, 3), 1u);
  EXPECT_STREQ(buf, "a");
  EXPECT_EQ(ini.GetString("s", "po", "fb", buf, 4), 3u);
  EXPECT_STREQ(buf, "a\x83\x7C");
  EXPECT_EQ(ini.GetString("s", "empty", "fb", buf, sizeof buf), 2u);
  EXPECT_STREQ(buf, "fb");
  EXPECT_EQ(ini.Get("s", "nul"), "ab\0cd"sv);
  EXPECT_EQ(ini.GetString("s", "nul", "fb", buf, sizeof buf), 2u);
  EXPECT_STREQ(buf, "ab");
  const std::pair<const char*, int> ints[] = {
      {"a", -17}, {"b", 5},     {"c", 12},   {"d", 12},        {"e", 0},
      {"f", 0},   {"empty", 9}, {"none", 9}, {"big", INT_MAX}, {"small", INT_MIN}};
  for (const auto& [key, want] : ints) EXPECT_EQ(ini.GetInt("s", key, 9), want) << key;
}

// Empty text, a lone CR or lead byte at the end and NUL bytes in
// names; a loaded file's views survive a move, a file that cannot be read
// leaves no sections.
TEST(Ini, AwkwardInputAndFiles) {
  IniFile ini;
  ini.Parse("");
  EXPECT_EQ(ini.FindSection(""), nullptr);
  ini.Parse("[s]\r\nk=v\r");
  EXPECT_EQ(ini.Get("s", "k"), "v");
  ini.Parse("[s]\nk=\x83");
  EXPECT_EQ(ini.Get("s", "k"), "\x83");
  ini.Parse("[a\0b]\nk\0=1\n"sv);
  EXPECT_EQ(ini.Get("A\0B"sv, "k\0"sv), "1");
  EXPECT_EQ(ini.FindSection("a"), nullptr);

  const std::string path = testing::TempDir() + "kestrel_ini_test.ini";
  std::ofstream(path, std::ios::binary) << "[s]\r\nk=\x83\x7C\r\n";
  ASSERT_TRUE(ini.Load(path));
  IniFile moved = std::move(ini);
  EXPECT_EQ(moved.Get("S", "K"), "\x83\x7C");
  EXPECT_FALSE(moved.Load(path + ".missing"));
  EXPECT_TRUE(moved.sections().empty());
  EXPECT_FALSE(moved.Load(testing::TempDir()));  // a directory
  std::remove(path.c_str());
}

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
