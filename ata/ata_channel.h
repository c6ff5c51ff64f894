// The ATA command channel: opens the drive devices, sends IDENTIFY and
// SMART commands with one result convention, and closes the devices.
// Handles and the Present bit live in the drive table; isWin9x chooses the
// family. Records of commands live on the caller's stack: nothing here
// allocates.
#pragma once

#include <cstdint>

namespace kestrel {

// ATA command and SMART feature codes that SendAtaCommand accepts.
enum AtaCommandCode : std::uint8_t {
  kIdentifyDevice = 0xEC,
  kIdentifyPacketDevice = 0xA1,
  kSmartReadData = 0xD0,
  kSmartReadThresholds = 0xD1,
  kSmartEnableOperations = 0xD8,
  kSmartReturnStatus = 0xDA,
};

// Result codes of drive commands.
constexpr int kAtaOk = 0;
constexpr int kAtaFailed = -1;
constexpr int kAtaThresholdExceeded = 1;

// Clears every record's state and handle, opens the devices and marks the
// drives found Present. On the 9x family, runs the driver diagnosis when
// the SMART driver device is missing.
void OpenAtaDrives();

// Sends `command` to drive `drive`; `buffer` (512 bytes) receives the
// sector of a command that returns one. Returns kAtaOk, kAtaFailed or, for
// SMART RETURN STATUS, kAtaThresholdExceeded. Failures are reported through
// ReportMessage, except a failed device call for RETURN STATUS.
int SendAtaCommand(std::uint8_t command, int drive, std::uint8_t* buffer);

// Sends SMART RETURN STATUS. SmartEnabled is set when the drive answers,
// whether or not a threshold is exceeded (a drive that reports imminent
// failure must stay watched), and cleared when the command fails. The
// drive's own verdict goes into SmartFailing: "threshold exceeded" sets it
// with StatusError and StatusErrorSeen, "normal" clears it. Returns the
// drive's updated status word. Takes no lock.
std::uint32_t ReadSmartStatus(int drive);

// A drive's power condition as CHECK POWER MODE (E5h) tells it.
enum class PowerMode {
  kActive,   // active or idle: the platters spin (FFh, 80h-83h, 40h/41h)
  kStandby,  // standby (00h, 01h); a sleeping drive comes back from the
             // system's reset in standby and answers so too
  kUnknown,  // no answer, or one of no known meaning
};

// Asks drive `drive` its power mode without waking it. Reports nothing:
// a drive (or a bridge) that cannot answer is kUnknown, and its caller
// reads it as before. Takes no lock.
PowerMode CheckPowerMode(int drive);

// Closes every open drive handle; a handle the system will not close is
// written to standard output as "CloseAtaDrives(%d) failed!".
void CloseAtaDrives();

}  // namespace kestrel
