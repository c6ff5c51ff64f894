// Identity decoding: texts, capacity, versions, transport, checksums and
// the device-type names.
#include <cstring>

#include "scan/identity.h"
#include "tests/support/test_support.h"

namespace kestrel {
namespace {

void SetWord(std::uint8_t* s, int w, std::uint16_t v) {
  s[2 * w] = static_cast<std::uint8_t>(v);
  s[2 * w + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Raw field bytes in drive order (first character in the high byte).
void SetField(std::uint8_t* s, int firstWord, const char* bytes, int chars) {
  for (int i = 0; i < chars; i += 2) {
    SetWord(s, firstWord + i / 2,
            static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[i]) << 8 |
                                       static_cast<std::uint8_t>(bytes[i + 1])));
  }
}

class IdentityTest : public SimTest {
 protected:
  void SetUp() override {
    Install("");
    std::memset(&record, 0, sizeof record);
  }
  DriveRecord record;
};

TEST_F(IdentityTest, TextsAreTrimmedAndByteSwapped) {
  SetField(record.identify, 27, "  WDC WD800JD-00LSA0                     ", 40);
  SetField(record.identify, 23, "06.01D06", 8);
  // The serial's last byte is 0, so its trailing blanks before the 0 stay.
  const char serial[20] = {' ', ' ', 'W', 'D', '1', ' ', ' ', '\0', 'X', 'X',
                           'X', 'X', 'X', 'X', 'X', 'X', 'X', 'X',  'X', '\0'};
  SetField(record.identify, 10, serial, 20);
  DecodeIdentity(record);
  EXPECT_STREQ(record.modelNumber, "WDC WD800JD-00LSA0");
  EXPECT_STREQ(record.firmwareRevision, "06.01D06");
  EXPECT_STREQ(record.serialNumber, "WD1  ");
  SetField(record.identify, 27, "                                        ", 40);
  DecodeIdentity(record);
  EXPECT_STREQ(record.modelNumber, "") << "all blank";
}

// Words 60-61 count when word 49 has LBA, words 100-103 when word 83 is
// validated and has the 48-bit bit; the larger count wins.
TEST_F(IdentityTest, CapacityFromTheLargerSectorCount) {
  struct Case {
    std::uint16_t word49, word83;
    std::uint32_t sectors28;
    std::uint64_t sectors48;
    const char* text;
  };
  const Case cases[] = {
      {0x0200, 0x4400, 1048576, 0xFFFFFFFFFFFFull, "134,217,728.4 GB"},
      {0x0200, 0x4400, 156301488, 1000, "74.5 GB"},
      {0x0200, 0xC400, 1048576, 0xFFFFFFFF, ".5 GB"},
      {0x0200, 0, 0xF0100000, 0, ".5 GB"},
      {0, 0, 156301488, 0, ".0 GB"},
  };
  for (const Case& c : cases) {
    std::uint8_t* id = record.identify;
    SetWord(id, 49, c.word49);
    SetWord(id, 83, c.word83);
    for (int w = 0; w < 2; ++w)
      SetWord(id, 60 + w, static_cast<std::uint16_t>(c.sectors28 >> 16 * w));
    for (int w = 0; w < 4; ++w)
      SetWord(id, 100 + w, static_cast<std::uint16_t>(c.sectors48 >> 16 * w));
    char out[64];
    FormatCapacity(id, out);
    EXPECT_STREQ(out, c.text);
  }
}

// The major version is the highest bit from one up; 0xFFFF in words 80
// and 81 reads as 0, and the stored sector is fixed. Serial ATA needs
// transport type one.
TEST_F(IdentityTest, VersionsAndTransport) {
  const std::uint16_t cases[][4] = {
      {0x00FE, 0, 0x101F, 7}, {0x0001, 0, 0xFFFF, 0}, {0xFFFF, 0xFFFF, 0x2000, 0}};
  for (const auto& [word80, word81, word222, major] : cases) {
    std::memset(&record, 0, sizeof record);
    SetWord(record.identify, 80, word80);
    SetWord(record.identify, 81, word81);
    SetWord(record.identify, 222, word222);
    DecodeIdentity(record);
    EXPECT_EQ(record.ataMajorVersion, major) << word80;
    EXPECT_EQ(record.isSerialAta, word222 == 0x101F) << word222;
  }
  EXPECT_EQ(IdentifyWord(record.identify, 81), 0);
}

// A sector passes when its bytes sum to a multiple of 256; a failing one
// is a box. The device type is bits 8-12 of word 0, 16 and up reserved.
TEST_F(IdentityTest, ChecksumAndDeviceTypeNames) {
  std::uint8_t sector[512] = {0x80, 0x80};
  EXPECT_EQ(TestChecksum(sector, kDataSectorName, 3), 0);
  EXPECT_TRUE(sink.notes.empty());
  sector[2] = 1;
  EXPECT_EQ(TestChecksum(sector, kDataSectorName, 3), 1);
  ASSERT_EQ(sink.boxes.size(), 1u);
  EXPECT_EQ(sink.boxes[0].text, "ドライブ3のSMART属性値チェックサムエラーです.");
  EXPECT_EQ(sink.boxes[0].style, kStyleExclamation);

  EXPECT_STREQ(DeviceTypeName(0x8F00), "Optical card reader/writer");
  EXPECT_STREQ(DeviceTypeName(0x9F00), "Reserved");
}

}  // namespace
}  // namespace kestrel
