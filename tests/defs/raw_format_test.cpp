// Raw-data formats: what each accepted format shows, the seven faults, the
// number forms and their clamping, and the cutting of the text.
#include "defs/raw_format.h"

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

std::string Quoted(const std::string& numbers, const std::string& pattern) {
  return numbers + "\"" + pattern + "\"";
}

class RawFormatTest : public SimTest {
 protected:
  void SetUp() override { Install(""); }

  // Attribute C2 of model M, defined in section "Default Drive".
  DriveAttribute Parse(const std::string& format) {
    DriveAttribute slot{};
    slot.id = 0xC2;
    std::strcpy(slot.rawFormat, "old");
    ParseRawFormat(slot, format.c_str(), "M", "Default Drive");
    return slot;
  }
  std::string Render(const DriveAttribute& slot, std::uint64_t value, std::uint64_t* raw = nullptr,
                     bool hexMode = false) {
    std::uint8_t bytes[6];
    for (int i = 0; i < 6; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    char text[68];
    const std::uint64_t r = RenderRawValue(slot, bytes, hexMode, text);
    if (raw != nullptr) *raw = r;
    return text;
  }
};

// A format, the six raw bytes, the value it gives and the text it shows.
TEST_F(RawFormatTest, AcceptedFormatsShowTheirText) {
  struct Row {
    std::string format;
    std::uint64_t value, raw;
    std::string text;
  };
  const std::string a(63, 'a');
  const Row rows[] = {
      {R"(0xFF,,,"###")", 298, 42, " 42"},
      {R"(0xFF,,1,"HHHH")", 42, 42, "002A"},
      {R"(0xFF,,1,"hh")", 42, 42, "2a"},
      {R"(,10,1,"#")", 37, 370, "370"},
      {R"(,,3,60,60,"#:00:00")", 725, 725, "0:12:05"},
      {R"(,,2,100,"#")", 250, 250, "2"},
      {R"(0xFF,,1,"\###\h")", 42, 42, "#42h"},
      // The template may reach 63 bytes; a percent costs 2, a run of ten "#" 7.
      {Quoted(",,1,", a), 0, 0, a},
      {Quoted(",,1,", a.substr(0, 61) + "%"), 0, 0, a.substr(0, 61) + "%"},
      {Quoted(",,1,", a.substr(0, 56) + "##########"), 5, 5, a.substr(0, 56) + "         5"},
      // Backslash-quote, backslash-backslash, and a backslash that stays.
      {R"(,,1,"\"\\\n")", 0, 0, "\x22\x5C\x5Cn"},
      // The katakana "so" ends in 0x5C and escapes neither the quote nor "#";
      // what follows the closing quote is never read.
      {",,1,\"\x83\\#\"\\\"#", 7, 7, "\x83\\7"},
      {R"(,,0,"abc")", 9, 9, "abc"},
      {R"(0,,1,"#")", 0xFFFFFFFFFFFF, 0, "0"},
      {R"(-1,,1,"#")", 0xFFFFFFFFFFFF, 0xFFFFFFFFFFFF, "281474976710655"},
      {R"(,0,1,"#")", 37, 37, "37"},
      {R"(,0xFFFFFFFF,1,"HHHHHHHHHHHHHHHH")", 0xFFFFFFFFFFFF, 0xFFFEFFFF00000001,
       "FFFEFFFF00000001"},
  };
  for (const Row& row : rows) {
    std::uint64_t raw = 0;
    EXPECT_EQ(Render(Parse(row.format), row.value, &raw), row.text) << row.format;
    EXPECT_EQ(raw, row.raw) << row.format;
  }
  // Hex mode ignores the mask and the pattern but scales.
  std::uint64_t raw = 0;
  EXPECT_EQ(Render(Parse(R"(0,,1,"#")"), 0x060504030201, &raw, true), "0605:0403:0201");
  EXPECT_EQ(raw, 0x060504030201u);
  EXPECT_EQ(Render(Parse(R"(0,2,1,"#")"), 0x060504030201, &raw, true), "0C0A:0806:0402");
  EXPECT_TRUE(sink.notes.empty());
}

TEST_F(RawFormatTest, EachFaultReportsItsMessageAndLeavesNoTemplate) {
  const std::string at = "モデルナンバM(Default Drive)の属性C2のロウデータ";
  const std::string comma = at + "フォーマットにカンマがありません.";
  const std::string quote = at + "フォーマットに\"\"でくくられた書式がありません.";
  const std::string fields = at + "フォーマットの書式中の分割データ数が多すぎます.";
  const std::string length = at + "フォーマットの書式が長すぎます.";
  const std::string a(64, 'a');
  const std::pair<std::string, std::string> rows[] = {
      {R"(xyz,1,1,"#")", at + "マスク値が不正です."},
      {R"(0xFF 1,1,"#")", comma},
      {R"(0xFF,1,1)", comma},
      {R"(0xFF, 0x10,1,"#")", comma},
      {R"(,,7,2,2,2,2,2,2,"#")", at + "フォーマットの分割数が7を超えています."},
      {R"(,,99999999999,"#")", at + "フォーマットの分割数が2147483647を超えています."},
      {R"(,,3,60,"#:#:#")", at + "フォーマットの分割除数が2未満です."},
      {R"(,,1, #)", quote},
      {R"(,,1,"#)", quote},
      {R"(,,1,"#:#")", fields},
      {R"(,,0,"#")", fields},
      {Quoted(",,1,", a), length},
      {Quoted(",,1,", a.substr(0, 62) + "%"), length},
      {Quoted(",,1,", a.substr(0, 57) + "##########"), length},
  };
  for (const auto& [format, message] : rows) {
    sink.Clear();
    const DriveAttribute slot = Parse(format);
    ASSERT_EQ(sink.notes.size(), 1u) << format;
    EXPECT_EQ(sink.notes[0], std::make_pair(kStyleQuestion, message)) << format;
    EXPECT_STREQ(slot.rawFormat, "") << format;
  }
  // What was read before the fault stays and applies; nothing is shown.
  const DriveAttribute slot = Parse(R"(0xFF,3,7,"#")");
  std::uint64_t raw = 0;
  EXPECT_EQ(Render(slot, 0x1234, &raw), "");
  EXPECT_EQ(std::make_pair(slot.splitCount, raw), std::make_pair(7, std::uint64_t{0x34 * 3}));
}

TEST_F(RawFormatTest, NumberFormsAndClamping) {
  struct Row {
    std::string format;
    std::uint64_t mask;
    std::int32_t multiplier, count;
    std::uint32_t divisor;
  };
  const Row rows[] = {
      {R"(  0Xff ,0x10 ,0x2 ,0xFFFFFFFF , "")", 0xFF, 16, 2, 0xFFFFFFFF},
      {R"(-256,-3,+2,-1,"")", 0xFFFFFFFFFFFFFF00, -3, 2, 0xFFFFFFFF},
      {"7,\t5,2,\n 10,\"\"", 7, 5, 2, 10},
      {R"(7,  ,  ,"")", 7, 0, 0, 0},
      {R"(-18446744073709551615,,1,"")", 1, 1, 1, 0},
      {R"(0x1FFFFFFFFFFFFFFFF,2147483648,-2147483649,"")", kAllOnes, INT32_MAX, INT32_MIN, 0},
      {R"(-99999999999999999999,0x1FFFFFFFF,1,"")", kAllOnes, -1, 1, 0},
  };
  for (const Row& row : rows) {
    const DriveAttribute slot = Parse(row.format);
    EXPECT_EQ(slot.rawMask, row.mask) << row.format;
    EXPECT_EQ(slot.multiplier, row.multiplier) << row.format;
    EXPECT_EQ(slot.splitCount, row.count) << row.format;
    if (row.count > 1) {
      EXPECT_EQ(slot.splitDivisors[0], row.divisor) << row.format;
    }
  }
  EXPECT_TRUE(sink.notes.empty());
}

// The text holds 67 bytes, cut on a character boundary: a double-byte
// character that cannot start in the last byte is left out, and nothing
// after it shows in its place.
TEST_F(RawFormatTest, LongTextIsCutTo67BytesOnACharacterBoundary) {
  const std::string z(20, '0');
  const DriveAttribute wide =
      Parse(Quoted(",,6,10,10,10,10,10,", z + ":" + z + ":" + z + ":" + z + ":" + z + ":" + z));
  ASSERT_TRUE(sink.notes.empty());
  const std::uint8_t bytes[6] = {0x40, 0xE2, 0x01, 0, 0, 0};  // 123456
  char text[80];
  std::memset(text, 0x7F, sizeof text);
  RenderRawValue(wide, bytes, false, text);
  EXPECT_EQ(std::string(text, 80),
            "00000000000000000001:00000000000000000002:00000000000000000003:0000" +
                std::string(1, '\0') + std::string(12, '\x7F'));
  EXPECT_EQ(Render(Parse(Quoted(",,1,", std::string(66, '#') + "時x")), 42),
            std::string(64, ' ') + "42");
}

}  // namespace
}  // namespace kestrel
