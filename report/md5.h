// MD5 message digest (RFC 1321), from the platform's hashing service:
// CryptoAPI on Windows, libmd on Linux. One implementation file per
// platform. MD5 serves here as a fingerprint, not as protection.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrel {

constexpr std::size_t kMd5DigestSize = 16;

// Writes the 16 digest bytes of `size` bytes at `data`. Returns false,
// leaving `digest` undefined, when the hashing service fails.
bool Md5(const void* data, std::size_t size, std::uint8_t digest[kMd5DigestSize]);

}  // namespace kestrel
