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
  SetField(record.identify, 27, "                                        ", 40);
  DecodeIdentity(record);
  EXPECT_STREQ(record.modelNumber, "") << "all blank";
}

TEST_F(IdentityTest, CapacityFromTheLargerSectorCount) {
  struct Case {
    std::uint32_t sectors28;
    std::uint64_t sectors48;  // 0: none
    const char* text;
  };
  const Case cases[] = {
      {156301488, 0, "74.5 GB"},
      {0x0FFFFFFF, 976773168, "465.7 GB"},
      {0x0FFFFFFF, 3907029168ull, "1,863.0 GB"},
      {1048576, 0, ".5 GB"},
      {1048576, 0xFFFFFFFFFFFFull, "134,217,728.4 GB"},  // grouping of millions
      {156301488, 1000, "74.5 GB"},                      // the smaller 48-bit count loses
  };
  for (const Case& c : cases) {
    std::memset(record.identify, 0, 512);
    SetSectors28(c.sectors28);
    if (c.sectors48 != 0) SetSectors48(c.sectors48);
    EXPECT_EQ(Capacity(), c.text);
  }
  // Word 83 not validated: its 48-bit bit does not count.
  SetWord(record.identify, 83, 0x0400);
  SetSectors28(1048576);
  SetWord(record.identify, 100, 0xFFFF);
  EXPECT_EQ(Capacity(), ".5 GB");
  // Without LBA there are no whole digits.
  std::memset(record.identify, 0, 512);
  SetWord(record.identify, 60, 0xFFFF);
  EXPECT_EQ(Capacity(), ".0 GB");
}

// The major version is the highest bit from one up; 0xFFFF in words 80
// and 81 reads as 0, and the stored sector is fixed.
TEST_F(IdentityTest, VersionsTransportAndGeometry) {
  const std::uint16_t majors[][3] = {{0x00FE, 0, 7}, {0x0001, 0, 0}, {0xFFFF, 0xFFFF, 0}};
  for (const auto& [word80, word81, major] : majors) {
    SetWord(record.identify, 80, word80);
    SetWord(record.identify, 81, word81);
    DecodeIdentity(record);
    EXPECT_EQ(record.ataMajorVersion, major) << word80;
  }
  EXPECT_EQ(IdentifyWord(record.identify, 80), 0);
  EXPECT_EQ(IdentifyWord(record.identify, 81), 0);

  // Serial ATA needs transport type one.
  for (const auto& [word222, sata] : {std::pair{0x101F, 1}, {0xFFFF, 0}, {0x2000, 0}}) {
    record.isSerialAta = 0;
    SetWord(record.identify, 222, static_cast<std::uint16_t>(word222));
    DecodeIdentity(record);
    EXPECT_EQ(record.isSerialAta, sata) << word222;
  }

  // The geometry is taken as it stands.
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
  EXPECT_EQ(sink.boxes[0].text, "ドライブ3のSMART属性値チェックサムエラーです.");
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
