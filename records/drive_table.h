// The drive table: ten drive slots and the settings the whole diagnosis
// shares, guarded by one lock, and the message sink of the drive side.
// The scan that fills it is in scan/scan.h.
//
// There is one process-wide table. Everything outside the scan reaches it
// only between LockDriveTable and UnlockDriveTable. The lock is recursive:
// the thread that holds it may take it again, so it keeps out other
// threads only. All of it runs on the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "records/attribute.h"
#include "records/platform_types.h"

namespace kestrel {

constexpr int kMaxDrives = 10;
constexpr int kMaxAttributes = 30;

// DriveRecord::state
enum DriveStateBits : std::uint32_t {
  Present = 0x1,          // the device was opened and answered
  Usable = 0x2,           // identified, and SMART can be used
  ThresholdsStale = 0x4,  // the thresholds failed their checksum
};

// DriveRecord::status
enum DriveStatusBits : std::uint32_t {
  StatusWarning = 0x1,
  StatusWarningSeen = 0x2,
  StatusError = 0x4,
  StatusErrorSeen = 0x8,
  SmartSupportUndetermined = 0x100,
  SmartSupported = 0x200,
  SmartEnabled = 0x400,
  // The drive's own verdict: SMART RETURN STATUS said "threshold
  // exceeded" at its last reading. It makes the drive an error.
  SmartFailing = 0x800,
};

// Message styles: a message box with one OK button and an icon, or -1 for
// a text that only goes to the status bar.
constexpr int kStyleStatusOnly = -1;
constexpr int kStylePlain = 0x00;
constexpr int kStyleStop = 0x10;
constexpr int kStyleQuestion = 0x20;
constexpr int kStyleExclamation = 0x30;
constexpr int kStyleInformation = 0x40;

struct DriveRecord {
  std::uint32_t state;
  DeviceHandle handle;
  DriveTransport transport;
  std::uint8_t identify[512];  // 256 little-endian words
  std::uint8_t thresholds[512];
  std::uint8_t smartData[512];
  char serialNumber[20 + 1];
  char firmwareRevision[8 + 1];
  char modelNumber[40 + 1];
  char capacityText[63 + 1];
  std::uint16_t cylinders;
  std::uint16_t heads;
  std::uint16_t sectorsPerTrack;
  std::int32_t isSerialAta;
  std::int32_t ataMajorVersion;
  char minorVersionText[65 + 1];
  std::int32_t attributeCount;
  DriveAttribute attributes[kMaxAttributes];
  std::uint32_t status;
  char comment[256 + 1];
  LocalTime lastEvaluated;
};

// The drive's kind as views show it before "#" and the drive index:
// "NVMe", "SATA" or "ATA". (Log lines, the report and the drive key keep
// "ATA#" whatever the kind: files written before read the same.)
inline const char* DriveBadge(const DriveRecord& r) {
  return r.transport == DriveTransport::kNvme ? "NVMe" : r.isSerialAta ? "SATA" : "ATA";
}

// The section names of the definition file: one buffer holding the names,
// and pointers into it sorted for binary search.
struct SectionNames {
  std::vector<char> storage;
  std::vector<const char*> sorted;
};

struct DriveTable {
  DriveRecord records[kMaxDrives];
  std::int8_t errorLevel;
  std::int8_t warningLevel;
  // The level of an attribute of either kind whose current value is at or
  // below its non-zero threshold, for the drive's status too: 0 none (the
  // goodness limits alone), 1 warning, 2 error. "Threshold" of
  // "Error Level" in the definition file.
  std::int8_t thresholdLevel;
  const std::int8_t* errorLimits;    // 256 entries, indexed by attribute id
  const std::int8_t* warningLimits;  // 256 entries
  char definitionPath[259 + 1];
  SectionNames sectionNames;
  bool isWin9x;
  std::unique_ptr<std::recursive_timed_mutex> lock;  // null: no lock
  WindowHandle ownerWindow;
  WindowHandle statusWindow;
  bool rawHexMode;
};

// The one table of the process. Outside the scan, reach it through
// LockDriveTable only.
DriveTable& TheDriveTable();

// Waits for the lock at most 1000 times 10 ms. Returns the table, or
// nullptr after showing "SMART情報管理データにアクセス失敗" (caption "Varnel",
// no owner, no icon) when every wait failed. Without a lock it returns the
// table at once. Every non-null result must be paired with UnlockDriveTable.
DriveTable* LockDriveTable();
void UnlockDriveTable();

// The message sink of the drive side. `style` is a message-box style
// (kStyleStop etc.) or kStyleStatusOnly. The text is formatted into 1024
// bytes (cut on a character boundary). A box style shows a box, owned by
// ownerWindow and captioned with its title, or without owner captioned
// "Varnsmart"; then the text goes to part 0 of statusWindow when one is set.
void ReportMessage(int style, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kestrel
