// MD5 on Linux: libcrypto's digest interface.
#include <openssl/evp.h>

#include "report/md5.h"

namespace kestrel {

bool Md5(const void* data, std::size_t size, std::uint8_t digest[kMd5DigestSize]) {
  unsigned int length = 0;
  return EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr) == 1 &&
         length == kMd5DigestSize;
}

}  // namespace kestrel
