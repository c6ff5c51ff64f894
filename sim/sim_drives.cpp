#include "sim/sim_drives.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "base/cp932.h"

namespace kestrel {

namespace {

// Handles: 0x100 + drive for the NT drive devices, 0x200 for the one 9x
// driver device.
constexpr DeviceHandle kFirstDriveHandle = 0x100;
constexpr DeviceHandle kDriverHandle = 0x200;
constexpr int kDriverSlot = 10;

// Windows error codes the simulated devices give.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint32_t kErrorInvalidParameter = 87;

constexpr char kSystemDirectory[] = "C:\\WINDOWS\\SYSTEM";

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* y, unsigned* m, unsigned* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yoe + era * 400) + (*m <= 2);
}

SimCommand CommandOf(const AtaRegisters& regs) {
  if (regs.command == 0xEC) return SimCommand::kIdentify;
  if (regs.command == 0xA1) return SimCommand::kIdentifyPacket;
  if (regs.command == 0xE5) return SimCommand::kPower;
  switch (regs.features) {
    case 0xD0:
      return SimCommand::kData;
    case 0xD1:
      return SimCommand::kThresholds;
    case 0xD8:
      return SimCommand::kEnable;
    case 0xDA:
      return SimCommand::kStatus;
    default:
      return SimCommand::kCount;
  }
}

AtaOutcome Failed(std::uint32_t error) {
  AtaOutcome out{};
  out.errorCode = error;
  return out;
}

}  // namespace

SimDrives::SimDrives(Scenario scenario) : scenario_(std::move(scenario)) {
  if (scenario_.epochs.empty()) scenario_.epochs.resize(1);
  for (int d = 0; d < 10; ++d) nvme_[d].sim = this, nvme_[d].drive = d;
}

bool SimDrives::NvmeDevice::Fetch(SimCommand command, const std::uint8_t* bytes, std::size_t n,
                                  std::size_t size, std::uint8_t* data, std::uint32_t* errorCode) {
  if (sim->CurrentEpoch().drives[drive].failMask & (1u << static_cast<int>(command))) {
    *errorCode = kErrorGenFailure;
    return false;
  }
  std::memcpy(data, bytes, n);
  std::memset(data + n, 0, size - n);
  return true;
}

bool SimDrives::NvmeDevice::IdentifyController(std::uint8_t* data, std::uint32_t* errorCode) {
  return Fetch(SimCommand::kIdentify, sim->CurrentEpoch().drives[drive].nvmeController,
               kSimNvmeIdentifyBytes, kNvmeIdentifySize, data, errorCode);
}

bool SimDrives::NvmeDevice::IdentifyNamespace(std::uint8_t* data, std::uint32_t* errorCode) {
  return Fetch(SimCommand::kIdentify, sim->CurrentEpoch().drives[drive].nvmeNamespace,
               kSimNvmeIdentifyBytes, kNvmeIdentifySize, data, errorCode);
}

bool SimDrives::NvmeDevice::ReadHealthLog(std::uint8_t* data, std::uint32_t* errorCode) {
  ++sim->counts_[drive][static_cast<int>(SimCommand::kLog)];
  const SimDriveState& state = sim->CurrentEpoch().drives[drive];
  return Fetch(SimCommand::kLog, state.healthLog, sizeof state.healthLog, kNvmeHealthLogSize, data,
               errorCode);
}

int SimDrives::EpochIndex() {
  std::uint64_t second = ElapsedMs() / 1000;
  int k = 0;
  while (k + 1 < static_cast<int>(scenario_.epochs.size()) &&
         scenario_.epochs[k + 1].second <= second) {
    ++k;
  }
  return k;
}

const SimEpoch& SimDrives::CurrentEpoch() { return scenario_.epochs[EpochIndex()]; }

bool SimDrives::IsWin9xFamily() { return scenario_.win9x; }

DeviceHandle SimDrives::OpenDevice(const char* name, std::uint32_t* errorCode) {
  const SimEpoch& epoch = CurrentEpoch();
  if (scenario_.win9x) {
    if (std::strcmp(name, "\\\\.\\SMARTVSD") != 0 || scenario_.driver != SimDriver::kPresent) {
      *errorCode = kErrorFileNotFound;
      return kInvalidDeviceHandle;
    }
    if (scenario_.platformFailMask & (1u << static_cast<int>(SimCommand::kOpen))) {
      *errorCode = kErrorAccessDenied;
      return kInvalidDeviceHandle;
    }
    handleOpen_[kDriverSlot] = true;
    ++openHandles_;
    return kDriverHandle;
  }
  int drive = -1;
  char tail;
  if (std::sscanf(name, "\\\\.\\PhysicalDrive%d%c", &drive, &tail) != 1 || drive < 0 || drive > 9 ||
      !epoch.drives[drive].defined) {
    *errorCode = kErrorFileNotFound;
    return kInvalidDeviceHandle;
  }
  ++counts_[drive][static_cast<int>(SimCommand::kOpen)];
  if (epoch.drives[drive].failMask & (1u << static_cast<int>(SimCommand::kOpen))) {
    *errorCode = kErrorAccessDenied;
    return kInvalidDeviceHandle;
  }
  handleOpen_[drive] = true;
  ++openHandles_;
  return kFirstDriveHandle + drive;
}

int SimDrives::DriveOf(DeviceHandle handle, std::uint8_t driveNumber) {
  if (scenario_.win9x) {
    if (handle != kDriverHandle || !handleOpen_[kDriverSlot] || driveNumber > 3) {
      return -1;
    }
    return driveNumber;
  }
  DeviceHandle drive = handle - kFirstDriveHandle;
  if (drive < 0 || drive > 9 || !handleOpen_[drive]) return -1;
  return static_cast<int>(drive);
}

bool SimDrives::ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) {
  const SimEpoch& epoch = CurrentEpoch();
  const std::uint32_t probe = 1u << static_cast<int>(SimCommand::kProbe);
  if (scenario_.win9x) {
    if (handle != kDriverHandle || !handleOpen_[kDriverSlot] ||
        (scenario_.platformFailMask & probe)) {
      return false;
    }
    if (scenario_.deviceMap >= 0) {
      *deviceMap = static_cast<std::uint8_t>(scenario_.deviceMap);
    } else {
      std::uint8_t map = 0;
      for (int k = 0; k < 4; ++k) {
        if (epoch.drives[k].defined) map |= 1u << k;
        if (epoch.drives[k].packet) map |= 1u << (k + 4);
      }
      *deviceMap = map;
    }
    return true;
  }
  int drive = DriveOf(handle, 0);
  if (drive < 0) return false;
  ++counts_[drive][static_cast<int>(SimCommand::kProbe)];
  if (epoch.drives[drive].failMask & probe) return false;
  *deviceMap = 0;
  return true;
}

bool SimDrives::SmartOn(int drive, const SimDriveState& state, int epoch) {
  if (!state.smartSupported) return false;
  if (state.smartEnabled) return true;
  int since = enabledAtEpoch_[drive];
  if (since < 0) return false;
  // An ENABLE holds until a later change of the scenario switches SMART off.
  for (int k = since + 1; k <= epoch; ++k) {
    if (scenario_.epochs[k].drives[drive].smartEnabledSet) return false;
  }
  return true;
}

bool SimDrives::Asleep(int drive, int epoch) const {
  if (scenario_.epochs[epoch].drives[drive].powerMode != 0x00) return false;
  const int since = wokenAtEpoch_[drive];
  if (since < 0) return true;
  for (int k = since + 1; k <= epoch; ++k) {
    if (scenario_.epochs[k].drives[drive].powerSet) return true;
  }
  return false;
}

AtaOutcome SimDrives::SendCommand(DeviceHandle handle, const AtaRegisters& regs,
                                  std::uint8_t driveNumber, AtaDataMode mode,
                                  std::uint8_t* sector) {
  int epochIndex = EpochIndex();
  const SimEpoch& epoch = scenario_.epochs[epochIndex];
  int drive = DriveOf(handle, driveNumber);
  if (drive < 0) return Failed(kErrorInvalidHandle);
  const SimDriveState& state = epoch.drives[drive];
  SimCommand command = CommandOf(regs);
  if (command == SimCommand::kCount) return Failed(kErrorInvalidParameter);
  ++counts_[drive][static_cast<int>(command)];

  // A device checks the registers it is given as a real one would: the
  // SMART signature in the cylinder registers, the drive/head select.
  bool identify = command == SimCommand::kIdentify || command == SimCommand::kIdentifyPacket;
  bool smart = !identify && command != SimCommand::kPower;
  std::uint8_t driveHead = scenario_.win9x && (drive & 1) ? 0xB0 : 0xA0;
  bool wantsSector = command == SimCommand::kIdentify || command == SimCommand::kIdentifyPacket ||
                     command == SimCommand::kData || command == SimCommand::kThresholds;
  AtaDataMode expectedMode = wantsSector ? AtaDataMode::kSectorIn
                             : command == SimCommand::kStatus || command == SimCommand::kPower
                                 ? AtaDataMode::kReturnRegisters
                                 : AtaDataMode::kNone;
  if (regs.driveHead != driveHead || mode != expectedMode ||
      (smart && (regs.command != 0xB0 || regs.cylinderLow != 0x4F || regs.cylinderHigh != 0xC2))) {
    return Failed(kErrorInvalidParameter);
  }
  // An NVMe drive's faults are those of its fetches.
  if (state.nvme) return AnswerAsAta(nvme_[drive], regs, mode, sector);

  if (state.failMask & (1u << static_cast<int>(command))) {
    return Failed(kErrorGenFailure);
  }
  AtaOutcome out{};
  out.callSucceeded = true;
  // CHECK POWER MODE answers without waking the drive; anything else
  // spins a drive in standby up, and it stays up until the scenario
  // sets its power mode again.
  if (command == SimCommand::kPower) {
    out.returned = regs;
    const bool woken = state.powerMode == 0x00 && !Asleep(drive, epochIndex);
    out.returned.sectorCount = woken ? 0xFF : state.powerMode;
    out.returned.command = 0x50;
    return out;
  }
  if (Asleep(drive, epochIndex)) {
    ++wakeUps_[drive];
    wokenAtEpoch_[drive] = epochIndex;
  }
  if (state.driverErrorCommand == static_cast<int>(command)) {
    out.driverError = state.driverError;
    out.ideError = state.ideError;
    return out;
  }

  // What the drive itself aborts: the wrong identify for its kind, and
  // SMART on a packet device, on a drive without SMART, or while it is off.
  switch (command) {
    case SimCommand::kIdentify:
      if (state.packet) return Failed(kErrorGenFailure);
      std::memcpy(sector, state.identify, 512);
      return out;
    case SimCommand::kIdentifyPacket:
      if (!state.packet) return Failed(kErrorGenFailure);
      std::memcpy(sector, state.identify, 512);
      return out;
    default:
      break;
  }
  if (state.packet || !state.smartSupported) return Failed(kErrorGenFailure);
  if (command == SimCommand::kEnable) {
    enabledAtEpoch_[drive] = epochIndex;
    return out;
  }
  if (!SmartOn(drive, state, epochIndex)) return Failed(kErrorGenFailure);
  switch (command) {
    case SimCommand::kData:
      std::memcpy(sector, state.data, 512);
      break;
    case SimCommand::kThresholds:
      std::memcpy(sector, state.thresholds, 512);
      break;
    case SimCommand::kStatus:
      out.returned = regs;
      out.returned.cylinderLow = state.statusCylinderLow;
      out.returned.cylinderHigh = state.statusCylinderHigh;
      out.returned.command = 0x50;  // the status register: ready, no error
      break;
    default:
      break;
  }
  return out;
}

DriveTransport SimDrives::TransportOf(DeviceHandle handle) {
  const int drive = scenario_.win9x ? -1 : DriveOf(handle, 0);
  return drive >= 0 && CurrentEpoch().drives[drive].nvme ? DriveTransport::kNvme
                                                         : DriveTransport::kAta;
}

bool SimDrives::CloseDevice(DeviceHandle handle) {
  const std::uint32_t close = 1u << static_cast<int>(SimCommand::kClose);
  int slot;
  bool fails;
  if (handle == kDriverHandle) {
    slot = kDriverSlot;
    fails = (scenario_.platformFailMask & close) != 0;
  } else {
    DeviceHandle drive = handle - kFirstDriveHandle;
    if (drive < 0 || drive > 9) return false;
    slot = static_cast<int>(drive);
    ++counts_[slot][static_cast<int>(SimCommand::kClose)];
    fails = (CurrentEpoch().drives[slot].failMask & close) != 0;
  }
  if (!handleOpen_[slot] || fails) return false;
  handleOpen_[slot] = false;
  --openHandles_;
  return true;
}

bool SimDrives::SystemDirectory(char* out, std::size_t size) {
  if (size < sizeof kSystemDirectory) return false;
  std::memcpy(out, kSystemDirectory, sizeof kSystemDirectory);
  return true;
}

bool SimDrives::FileExists(const char* path) {
  char expected[64];
  switch (scenario_.driver) {
    case SimDriver::kUnloaded:
      std::snprintf(expected, sizeof expected, "%s\\IOSUBSYS\\SMARTVSD.VXD", kSystemDirectory);
      break;
    case SimDriver::kMisplaced:
    case SimDriver::kPresent:
      std::snprintf(expected, sizeof expected, "%s\\SMARTVSD.VXD", kSystemDirectory);
      break;
    case SimDriver::kMissing:
      return false;
  }
  return MbsICompare(path, expected) == 0;
}

bool SimDrives::KeyChordHeld() { return scenario_.keyChord; }

std::uint64_t SimDrives::ElapsedMs() {
  if (realTime_) {
    return elapsedMs_ +
           static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - realStart_)
                                          .count());
  }
  return elapsedMs_;
}

void SimDrives::Advance(std::uint32_t ms) { elapsedMs_ += ms; }

void SimDrives::FollowRealTime() {
  elapsedMs_ = ElapsedMs();
  realStart_ = std::chrono::steady_clock::now();
  realTime_ = true;
}

std::uint32_t SimDrives::TickCount() {
  return static_cast<std::uint32_t>(scenario_.uptimeSeconds * 1000ull + ElapsedMs());
}

LocalTime SimDrives::Now() {
  const LocalTime& c = scenario_.clock;
  std::uint64_t ms = ElapsedMs() + c.milliseconds;
  std::int64_t seconds = DaysFromCivil(c.year, c.month, c.day) * 86400 + c.hour * 3600 +
                         c.minute * 60 + c.second + static_cast<std::int64_t>(ms / 1000);
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  int y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  // 1970-01-01 was a Thursday.
  auto dow = static_cast<std::uint16_t>((days % 7 + 11) % 7);
  return LocalTime{static_cast<std::uint16_t>(y),
                   static_cast<std::uint16_t>(m),
                   dow,
                   static_cast<std::uint16_t>(d),
                   static_cast<std::uint16_t>(rest / 3600),
                   static_cast<std::uint16_t>(rest / 60 % 60),
                   static_cast<std::uint16_t>(rest % 60),
                   static_cast<std::uint16_t>(ms % 1000)};
}

std::string_view SimDrives::CommandLine() { return commandLine_; }

bool SimDrives::SearchFile(const char* stem, const char* extension, char* out, std::size_t size) {
  return DefaultEnvironment()->SearchFile(stem, extension, out, size);
}

bool SimDrives::IsFile(const char* path) { return DefaultEnvironment()->IsFile(path); }

bool SimDrives::FindLimitFile(const char* name, char* out, std::size_t size) {
  return DefaultEnvironment()->FindLimitFile(name, out, size);
}

}  // namespace kestrel
