// The storage query's records for NVMe data: the query's bytes, and the
// answers the reader takes or refuses. That the layout is the platform's
// own is checked at compile time in ata/ata_platform_win32.cpp.
#include "ata/nvme_storage_query.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "tests/support/test_support.h"

namespace kestrel {
namespace {

// Header (property, standard query), then protocol type, data type, request
// value, sub-value, data offset (40) and length; everything after is 0.
TEST(NvmeStorageQuery, BuildsEachQuery) {
  const struct {
    NvmeQuery what;
    std::size_t size;
    const char* bytes;
  } cases[] = {
      {NvmeQuery::kIdentifyController, 4144,
       "31 00 00 00 00 00 00 00 03 00 00 00 01 00 00 00 01 00 00 00 00 00 00 00 "
       "28 00 00 00 00 10 00 00 "},
      {NvmeQuery::kIdentifyNamespace, 4144,
       "32 00 00 00 00 00 00 00 03 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00 "
       "28 00 00 00 00 10 00 00 "},
      {NvmeQuery::kHealthLog, 560,
       "32 00 00 00 00 00 00 00 03 00 00 00 02 00 00 00 02 00 00 00 00 00 00 00 "
       "28 00 00 00 00 02 00 00 "},
  };
  for (const auto& c : cases) {
    std::uint8_t buffer[kNvmeStorageQueryCapacity];
    std::memset(buffer, 0xEE, sizeof buffer);
    ASSERT_EQ(BuildNvmeStorageQuery(c.what, buffer), c.size) << c.bytes;
    EXPECT_EQ(Hex(buffer, 32), c.bytes);
    EXPECT_EQ(std::count(buffer + 32, buffer + c.size, 0), static_cast<std::ptrdiff_t>(c.size - 32))
        << "the other sub-values and the data room start as 0: " << c.bytes;
  }
}

// A protocol data descriptor (version and size 48) whose record says where
// the data lies: it must lie after the record and within the bytes returned.
TEST(NvmeStorageQuery, FindsDataOnlyWhereTheAnswerHoldsIt) {
  const struct {
    const char* what;
    std::size_t returned;
    std::uint32_t version, size, offset, length;
    std::size_t at;  // 0: refused
  } cases[] = {
      {"the usual answer", 560, 48, 48, 40, 512, 48},
      {"data further on, size counting it", 600, 48, 600, 64, 512, 72},
      {"longer data than asked for", 560, 48, 48, 40, 4096, 48},
      {"shorter than the descriptor", 47, 48, 48, 40, 512, 0},
      {"not a descriptor", 560, 40, 48, 40, 512, 0},
      {"size below the descriptor", 560, 48, 8, 40, 512, 0},
      {"data inside the record", 560, 48, 48, 36, 512, 0},
      {"less data than asked for", 560, 48, 48, 40, 511, 0},
      {"data past the bytes returned", 559, 48, 48, 40, 512, 0},
      {"offset far out", 560, 48, 48, 0xFFFFFFFCu, 512, 0},
  };
  for (const auto& c : cases) {
    std::uint8_t answer[kNvmeStorageQueryCapacity] = {};
    const std::uint32_t fields[][2] = {
        {0, c.version}, {4, c.size}, {8, kProtocolTypeNvme}, {24, c.offset}, {28, c.length}};
    for (const auto& [at, value] : fields) {
      for (int k = 0; k < 4; ++k) answer[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
    std::size_t offset = 0;
    const bool found = FindNvmeQueryData(answer, c.returned, 512, &offset);
    EXPECT_EQ(found, c.at != 0) << c.what;
    EXPECT_EQ(found ? offset : 0, c.at) << c.what;
  }
}

}  // namespace
}  // namespace kestrel
