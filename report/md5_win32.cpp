// MD5 on Windows: CryptoAPI with the full RSA provider, whose default key
// container may have to be created on first use.
// <windows.h> first: the other platform headers build on it.
#include <windows.h>

#include <wincrypt.h>

#include "report/md5.h"

namespace kestrel {

bool Md5(const void* data, std::size_t size, std::uint8_t digest[kMd5DigestSize]) {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, 0)) {
    if (GetLastError() != static_cast<DWORD>(NTE_BAD_KEYSET) ||
        !CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
      return false;
    }
  }
  bool ok = false;
  HCRYPTHASH hash = 0;
  if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
    DWORD hashSize = 0;
    DWORD sizeLength = sizeof hashSize;
    // At most 39 bytes of digest are taken; MD5 gives 16.
    BYTE value[40] = {};
    DWORD valueLength = 0;
    if (CryptHashData(hash, static_cast<const BYTE*>(data), static_cast<DWORD>(size), 0) &&
        CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), &sizeLength, 0)) {
      valueLength = hashSize < 39 ? hashSize : 39;
      ok = CryptGetHashParam(hash, HP_HASHVAL, value, &valueLength, 0) &&
           valueLength == kMd5DigestSize;
      if (ok) {
        for (std::size_t i = 0; i < kMd5DigestSize; ++i) digest[i] = value[i];
      }
    }
    CryptDestroyHash(hash);
  }
  CryptReleaseContext(provider, 0);
  return ok;
}

}  // namespace kestrel
