#include "report/md5.h"

#include <cstring>

namespace kestrel {

namespace {

// Shift amounts of the four rounds, four per round.
constexpr int kShift[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// floor(abs(sin(i + 1)) * 2^32), written out so that no floating point is
// needed at start-up.
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

std::uint32_t RotateLeft(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

// MD5 is little-endian whatever the host is.
std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
         std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void ProcessBlock(std::uint32_t state[4], const std::uint8_t* block) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLe32(block + 4 * i);

  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    int round = i / 16;
    std::uint32_t f;
    int g;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        g = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
        break;
    }
    std::uint32_t next = b + RotateLeft(a + f + kSine[i] + m[g],
                                        kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.byteCount = 0;
}

void Md5Update(Md5Context& context, const void* data, std::size_t size) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  std::size_t used = context.byteCount % 64;
  context.byteCount += size;

  if (used != 0) {
    std::size_t take = 64 - used < size ? 64 - used : size;
    std::memcpy(context.block + used, p, take);
    p += take;
    size -= take;
    if (used + take < 64) return;
    ProcessBlock(context.state, context.block);
  }
  for (; size >= 64; p += 64, size -= 64) ProcessBlock(context.state, p);
  if (size != 0) std::memcpy(context.block, p, size);
}

void Md5Final(Md5Context& context, std::uint8_t digest[kMd5DigestSize]) {
  // The message length in bits, taken before the padding changes it.
  std::uint8_t length[8];
  std::uint64_t bits = context.byteCount * 8;
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (8 * i));

  // 0x80, then zeros up to 56 bytes into a block, then the length.
  static const std::uint8_t kPadding[64] = {0x80};
  std::size_t used = context.byteCount % 64;
  Md5Update(context, kPadding, used < 56 ? 56 - used : 120 - used);
  Md5Update(context, length, sizeof length);

  for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, context.state[i]);
}

void Md5(const void* data, std::size_t size,
         std::uint8_t digest[kMd5DigestSize]) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, data, size);
  Md5Final(context, digest);
}

}  // namespace kestrel
