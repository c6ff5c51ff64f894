// MD5 message digest (RFC 1321): the one hash of the drive key.
//
// One portable implementation for every platform, so that a key computed
// on Windows and on Linux is the same and no platform hashing service can
// fail. MD5 serves here as a fingerprint, not as protection.
// Nothing here allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

constexpr std::size_t kMd5DigestSize = 16;

// A digest in progress. Start it with Md5Init, feed it with Md5Update any
// number of times, and end it with Md5Final.
struct Md5Context {
  std::uint32_t state[4];
  std::uint64_t byteCount;  // bytes fed so far
  std::uint8_t block[64];   // bytes of the block not yet processed
};

void Md5Init(Md5Context& context);
void Md5Update(Md5Context& context, const void* data, std::size_t size);
// Writes the 16 digest bytes. The context must be initialised again before
// it is used for another message.
void Md5Final(Md5Context& context, std::uint8_t digest[kMd5DigestSize]);

// The digest of `size` bytes in one call.
void Md5(const void* data, std::size_t size,
         std::uint8_t digest[kMd5DigestSize]);

}  // namespace kestrel
