// NVMe drives behind the ATA command channel.
//
// An NVMe drive has no ATA registers and no SMART attribute table; it has
// Identify data and the SMART / Health Information log (page 02h). The
// bridge answers the channel's ATA commands (IDENTIFY, the SMART
// subcommands) from those, so that the scan, the evaluation, the monitor
// and the report treat the drive as they treat any other: IDENTIFY gets a
// sector made from Identify Controller and Namespace, SMART READ DATA and
// READ THRESHOLDS get sectors of fixed attribute ids made from the health
// log, RETURN STATUS says "threshold exceeded" while a critical-warning
// bit is set. The platforms (Linux ioctl, Windows storage query, the
// simulator) only fetch the NVMe data, through NvmeAdmin.
//
// The attribute ids (in the definition file's "NVMe Drive" section):
//   01 critical warning (bit set)   02 composite temperature (deg C)
//   03 available spare (%; its threshold is the attribute's threshold)
//   04 available spare threshold    05 percentage used
//   06 data units read (512,000 B)  07 data units written
//   08 host read commands           09 host write commands
//   0A controller busy time (min)   0B power cycles
//   0C power-on hours               0D unsafe shutdowns
//   0E media and data integrity errors
//   0F error information log entries
//   10 warning temperature time (min)  11 critical temperature time (min)
// The log's 128-bit counters are held to 48 bits (the raw value's width);
// a larger count reads as 2^48 - 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ata/ata_platform.h"

namespace kestrel {

constexpr std::size_t kNvmeIdentifySize = 4096;
constexpr std::size_t kNvmeHealthLogSize = 512;

// What an NVMe device answers, fetched by the platform. Each call returns
// true with the data, or false with the system's error code.
class NvmeAdmin {
 public:
  NvmeAdmin() = default;
  NvmeAdmin(const NvmeAdmin&) = delete;
  NvmeAdmin& operator=(const NvmeAdmin&) = delete;
  virtual ~NvmeAdmin() = default;

  // Identify Controller (CNS 01h), 4096 bytes.
  virtual bool IdentifyController(std::uint8_t* data, std::uint32_t* errorCode) = 0;
  // Identify Namespace (CNS 00h) of the drive's namespace, 4096 bytes.
  virtual bool IdentifyNamespace(std::uint8_t* data, std::uint32_t* errorCode) = 0;
  // Get Log Page 02h (SMART / Health Information) for the whole
  // controller, 512 bytes.
  virtual bool ReadHealthLog(std::uint8_t* data, std::uint32_t* errorCode) = 0;
};

struct NvmeIdentity {
  char model[40 + 1];     // Identify Controller bytes 24-63, blanks kept
  char serial[20 + 1];    // bytes 4-23
  char firmware[8 + 1];   // bytes 64-71
  std::uint64_t sectors;  // the namespace's size in 512-byte sectors
};

struct NvmeHealth {
  std::uint8_t criticalWarning;
  std::uint16_t temperatureKelvin;
  std::uint8_t availableSpare;
  std::uint8_t spareThreshold;
  std::uint8_t percentageUsed;
  // The 128-bit counters, held to 48 bits.
  std::uint64_t dataUnitsRead, dataUnitsWritten, hostReads, hostWrites, busyMinutes, powerCycles,
      powerOnHours, unsafeShutdowns, mediaErrors, errorLogEntries;
  std::uint32_t warningTemperatureMinutes, criticalTemperatureMinutes;
};

// Reads Identify Controller and Identify Namespace data. False when the
// controller data is no answer at all (no model number, or a namespace
// block size outside 512 bytes to 64 KiB).
bool ParseNvmeIdentity(const std::uint8_t* controller, const std::uint8_t* ns, NvmeIdentity* out);

// Reads the health log. Any bytes are a log.
NvmeHealth ParseNvmeHealth(const std::uint8_t* log);

// The ATA sectors the bridge answers with, each with its checksum.
void BuildIdentifySector(const NvmeIdentity& identity, std::uint8_t* sector);
void BuildSmartDataSector(const NvmeHealth& health, std::uint8_t* sector);
void BuildThresholdsSector(const NvmeHealth& health, std::uint8_t* sector);

// Answers one command of the channel from `device`, as an ATA drive with
// SMART switched on would. A fetch that fails gives a failed call with its
// error code; a command the bridge does not know, error 87 (invalid
// parameter, as a device refuses it). IDENTIFY also reads the health log:
// when that fails, the sector says SMART is neither supported nor on.
AtaOutcome AnswerAsAta(NvmeAdmin& device, const AtaRegisters& regs, AtaDataMode mode,
                       std::uint8_t* sector);

}  // namespace kestrel
