// Simulated drives: a scenario file that stands in for real drives, read
// into the exact sectors and faults each drive shows at each moment.
//
// The file format is described in sim/README.md. A scenario is compiled
// once into epochs: the state of all ten drives from a given second on.
// Answering a command then only copies bytes, so the simulator allocates
// nothing on the monitor's path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "records/platform_types.h"

namespace kestrel {

// The commands a scenario can make fail, in the order of their key words.
enum class SimCommand : int {
  kOpen,
  kProbe,
  kIdentify,
  kIdentifyPacket,
  kEnable,
  kThresholds,
  kData,
  kStatus,
  kClose,
  kLog,    // an NVMe drive's health log (Get Log Page 02h)
  kPower,  // CHECK POWER MODE
  kCount,
};

// The key word of a command ("open", "identify-packet", ...).
const char* SimCommandName(SimCommand command);

// Where the 9x SMART driver's file is, for the driver diagnosis.
enum class SimDriver { kPresent, kUnloaded, kMisplaced, kMissing };

// The leading bytes of an NVMe drive's Identify data the simulator fills;
// the rest of the 4096 bytes reads as zeros.
constexpr std::size_t kSimNvmeIdentifyBytes = 256;

struct SimDriveState {
  bool defined;  // a [DriveN] section exists: the device is there
  bool nvme;     // Transport = nvme: answers through the NVMe bridge
  bool packet;   // answers IDENTIFY PACKET DEVICE only
  bool smartSupported;
  bool smartEnabled;     // as the identity says at this moment
  bool smartEnabledSet;  // this epoch's own changes set SmartEnabled
  // CHECK POWER MODE's answer in the count register: FFh active, 80h
  // idle, 00h standby (sleep too: the system's reset leaves it so).
  std::uint8_t powerMode;
  bool powerSet;  // this epoch's own changes set Power
  std::uint8_t identify[512];
  std::uint8_t thresholds[512];
  std::uint8_t data[512];
  std::uint32_t failMask;  // bit (1 << SimCommand)
  int driverErrorCommand;  // a SimCommand, or -1
  std::uint8_t driverError;
  std::uint8_t ideError;
  std::uint8_t statusCylinderLow;
  std::uint8_t statusCylinderHigh;
  // NVMe drives: Identify Controller and Namespace, and the health log.
  std::uint8_t nvmeController[kSimNvmeIdentifyBytes];
  std::uint8_t nvmeNamespace[kSimNvmeIdentifyBytes];
  std::uint8_t healthLog[512];
};

struct SimEpoch {
  std::uint32_t second;  // the state holds from this virtual second on
  SimDriveState drives[10];
};

struct Scenario {
  bool win9x = false;
  int deviceMap = -1;  // -1: derived from drives 0-3
  SimDriver driver = SimDriver::kPresent;
  std::uint32_t platformFailMask = 0;  // 9x driver device: open, probe, close
  std::uint32_t uptimeSeconds = 60;
  LocalTime clock{2026, 1, 4, 1, 9, 0, 0, 0};  // 2026-01-01 09:00:00, Thursday
  bool keyChord = false;
  std::vector<SimEpoch> epochs;  // ascending; epochs[0].second == 0
};

// Parses a scenario. On failure returns false and says why in *error (the
// section and key, and what is wrong).
bool ParseScenario(std::string_view text, Scenario* out, std::string* error);

// Reads and parses the scenario file at `path`.
bool LoadScenario(const std::string& path, Scenario* out, std::string* error);

}  // namespace kestrel
