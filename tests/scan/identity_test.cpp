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
  std::string Capacity() {
    char out[64];
    FormatCapacity(record.identify, out);
    return out;
  }
  void SetSectors28(std::uint32_t count) {
    SetWord(record.identify, 49, 1u << 9);
    SetWord(record.identify, 60, static_cast<std::uint16_t>(count));
    SetWord(record.identify, 61, static_cast<std::uint16_t>(count >> 16));
  }
  void SetSectors48(std::uint64_t count) {
    SetWord(record.identify, 83, 0x4000 | (1u << 10));
    for (int w = 0; w < 4; ++w) {
      SetWord(record.identify, 100 + w, static_cast<std::uint16_t>(count >> (16 * w)));
    }
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
}

TEST_F(IdentityTest, AllBlankFieldGivesEmptyText) {
  SetField(record.identify, 27, "                                        ", 40);
  DecodeIdentity(record);
  EXPECT_STREQ(record.modelNumber, "");
}

TEST_F(IdentityTest, CapacityExamples) {
  SetSectors28(156301488);
  EXPECT_EQ(Capacity(), "74.5 GB");
  SetSectors28(0x0FFFFFFF);
  SetSectors48(976773168);
  EXPECT_EQ(Capacity(), "465.7 GB");
  SetSectors48(3907029168ull);
  EXPECT_EQ(Capacity(), "1,863.0 GB");
  std::memset(record.identify, 0, 512);
  SetSectors28(1048576);
  EXPECT_EQ(Capacity(), ".5 GB");
  SetSectors48(0xFFFFFFFFFFFFull);  // 281 trillion sectors: grouping of millions
  EXPECT_EQ(Capacity(), "134,217,728.4 GB");
}

TEST_F(IdentityTest, CapacityWithoutLbaHasNoWholeDigits) {
  SetWord(record.identify, 60, 0xFFFF);
  EXPECT_EQ(Capacity(), ".0 GB");
}

TEST_F(IdentityTest, SmallerFortyEightBitCountLosesToTwentyEightBit) {
  SetSectors28(156301488);
  SetSectors48(1000);
  EXPECT_EQ(Capacity(), "74.5 GB");
  // Word 83 not validated: its 48-bit bit does not count.
  SetWord(record.identify, 83, 0x0400);
  SetSectors28(1048576);
  SetWord(record.identify, 100, 0xFFFF);
  EXPECT_EQ(Capacity(), ".5 GB");
}

TEST_F(IdentityTest, MajorVersionIsTheHighestBitFromOneUp) {
  SetWord(record.identify, 80, 0x00FE);
  DecodeIdentity(record);
  EXPECT_EQ(record.ataMajorVersion, 7);
  SetWord(record.identify, 80, 0x0001);
  DecodeIdentity(record);
  EXPECT_EQ(record.ataMajorVersion, 0);
  SetWord(record.identify, 80, 0xFFFF);
  SetWord(record.identify, 81, 0xFFFF);
  DecodeIdentity(record);
  EXPECT_EQ(record.ataMajorVersion, 0);
  EXPECT_EQ(IdentifyWord(record.identify, 80), 0) << "the stored sector is fixed";
  EXPECT_EQ(IdentifyWord(record.identify, 81), 0);
}

TEST_F(IdentityTest, SerialAtaNeedsTransportTypeOne) {
  SetWord(record.identify, 222, 0x101F);
  DecodeIdentity(record);
  EXPECT_EQ(record.isSerialAta, 1);
  record.isSerialAta = 0;
  SetWord(record.identify, 222, 0xFFFF);
  DecodeIdentity(record);
  EXPECT_EQ(record.isSerialAta, 0);
  SetWord(record.identify, 222, 0x2000);
  DecodeIdentity(record);
  EXPECT_EQ(record.isSerialAta, 0);
}

TEST_F(IdentityTest, GeometryIsTakenAsItStands) {
  SetWord(record.identify, 1, 16383);
  SetWord(record.identify, 3, 16);
  SetWord(record.identify, 6, 63);
  DecodeIdentity(record);
  EXPECT_EQ(record.cylinders, 16383);
  EXPECT_EQ(record.heads, 16);
  EXPECT_EQ(record.sectorsPerTrack, 63);
}

TEST_F(IdentityTest, ChecksumPassesOnAnySumOfMultiplesOf256) {
  std::uint8_t sector[512] = {};
  sector[0] = 0x80;
  sector[1] = 0x80;  // 256
  EXPECT_EQ(TestChecksum(sector, kDataSectorName, 3), 0);
  EXPECT_TRUE(sink.notes.empty());
  sector[2] = 1;
  EXPECT_EQ(TestChecksum(sector, kDataSectorName, 3), 1);
  ASSERT_EQ(sink.boxes.size(), 1u);
  // "ドライブ3のSMART属性値チェックサムエラーです." in code page 932.
  const unsigned char expected[] = {
      0x83, 0x68, 0x83, 0x89, 0x83, 0x43, 0x83, 0x75, '3',  0x82, 0xCC, 'S',  'M',  'A',  'R',
      'T',  0x91, 0xAE, 0x90, 0xAB, 0x92, 0x6C, 0x83, 0x60, 0x83, 0x46, 0x83, 0x62, 0x83, 0x4E,
      0x83, 0x54, 0x83, 0x80, 0x83, 0x47, 0x83, 0x89, 0x81, 0x5B, 0x82, 0xC5, 0x82, 0xB7, '.'};
  EXPECT_EQ(sink.boxes[0].text,
            std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  EXPECT_EQ(sink.boxes[0].style, kStyleExclamation);
}

TEST_F(IdentityTest, DeviceTypeNames) {
  EXPECT_STREQ(DeviceTypeName(0x8580), "CD/DVD");
  EXPECT_STREQ(DeviceTypeName(0x8000), "Direct-access (disk)");
  EXPECT_STREQ(DeviceTypeName(0x8F00), "Optical card reader/writer");
  EXPECT_STREQ(DeviceTypeName(0x9400), "Reserved");
  EXPECT_STREQ(DeviceTypeName(0x9F00), "Reserved");
}

}  // namespace
}  // namespace kestrel
