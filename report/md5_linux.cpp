// MD5 on Linux: libmd, the system's small message-digest library.
#include <md5.h>

#include "report/md5.h"

namespace kestrel {

static_assert(MD5_DIGEST_LENGTH == kMd5DigestSize);

bool Md5(const void* data, std::size_t size, std::uint8_t digest[kMd5DigestSize]) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, static_cast<const std::uint8_t*>(data), size);
  MD5Final(digest, &context);
  return true;
}

}  // namespace kestrel
