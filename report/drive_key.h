// The drive key: a short fingerprint that the health report puts beside
// the data it sends to the club service, one over the date and the drive
// count and one per drive over its serial number and result code.
#pragma once

namespace kestrel {

// The lower-case hexadecimal MD5 (32 characters) of the printf-style text
// with the salt "tovian" appended and the whole then reversed byte by byte.
//
// The result lives in one module-wide buffer of 1024 bytes that every call
// reuses: use it (write it out) before the next call. A formatted text
// longer than 1017 bytes is cut on a character boundary so that it, the
// salt and the terminator fit. A format the C library cannot render gives
// the empty key. Allocates nothing.
const char* DriveKey(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kestrel
