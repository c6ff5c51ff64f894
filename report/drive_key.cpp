#include "report/drive_key.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/cp932.h"
#include "report/md5.h"

namespace kestrel {

namespace {

constexpr char kSalt[] = "tovian";
constexpr std::size_t kSaltLength = sizeof kSalt - 1;

// Holds the formatted text, then the salted and reversed text, then the
// key. The club service recomputes keys from the fields it receives, so
// the salt, the reversal and their order must never change.
char g_keyBuffer[1024];

}  // namespace

const char* DriveKey(const char* format, ...) {
  constexpr std::size_t kTextRoom = sizeof g_keyBuffer - kSaltLength - 1;

  // One byte more than the text may keep, to see whether the cut would
  // split a double-byte character.
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(g_keyBuffer, kTextRoom + 2, format, args);
  va_end(args);
  if (n < 0) {
    g_keyBuffer[0] = '\0';
    return g_keyBuffer;
  }
  // The text is NUL-terminated like every text here; a "%c" of 0 ends it.
  std::size_t length = std::strlen(g_keyBuffer);
  if (length > kTextRoom) {
    // Too long for the salt to follow: keep whole characters only, as a
    // half character would make a text the user never saw.
    length = CutLength(std::string_view(g_keyBuffer, length), kTextRoom);
  }

  std::memcpy(g_keyBuffer + length, kSalt, kSaltLength);
  length += kSaltLength;
  for (std::size_t k = 0; k < length / 2; ++k) {
    char c = g_keyBuffer[k];
    g_keyBuffer[k] = g_keyBuffer[length - 1 - k];
    g_keyBuffer[length - 1 - k] = c;
  }

  std::uint8_t digest[kMd5DigestSize];
  if (!Md5(g_keyBuffer, length, digest)) {
    // A failed hashing service gives the empty key; the report writes it.
    g_keyBuffer[0] = '\0';
    return g_keyBuffer;
  }

  static const char kHex[] = "0123456789abcdef";
  for (std::size_t i = 0; i < kMd5DigestSize; ++i) {
    g_keyBuffer[2 * i] = kHex[digest[i] >> 4];
    g_keyBuffer[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  g_keyBuffer[2 * kMd5DigestSize] = '\0';
  return g_keyBuffer;
}

}  // namespace kestrel
