// Simulated drives: an ATA platform and an environment that answer from a
// scenario, on a virtual clock.
//
// The virtual clock starts at the scenario's Uptime and Clock. Front ends
// and tests move it with Advance(); the Windows program may let it follow
// real time instead. Each command is answered from the epoch in force at
// the current virtual second. Answering allocates nothing. An NVMe drive
// answers the channel's commands through the NVMe bridge, from the
// Identify data and health log of its epoch.
#pragma once

#include <cstdint>
#include <mutex>  // std::chrono without <chrono>: see CMakeLists.txt
#include <string>

#include "ata/ata_platform.h"
#include "ata/nvme_bridge.h"
#include "records/host.h"
#include "sim/scenario.h"

namespace kestrel {

class SimDrives final : public AtaPlatform, public Environment {
 public:
  explicit SimDrives(Scenario scenario);

  // --- AtaPlatform
  bool IsWin9xFamily() override;
  DeviceHandle OpenDevice(const char* name, std::uint32_t* errorCode) override;
  bool ProbeDevice(DeviceHandle handle, std::uint8_t* deviceMap) override;
  AtaOutcome SendCommand(DeviceHandle handle, const AtaRegisters& regs, std::uint8_t driveNumber,
                         AtaDataMode mode, std::uint8_t* sector) override;
  DriveTransport TransportOf(DeviceHandle handle) override;
  bool CloseDevice(DeviceHandle handle) override;
  bool SystemDirectory(char* out, std::size_t size) override;
  bool FileExists(const char* path) override;  // the 9x driver files

  // --- Environment
  bool KeyChordHeld() override;
  std::uint32_t TickCount() override;
  LocalTime Now() override;
  std::string_view CommandLine() override;
  // Files are real: these ask the platform's own environment.
  bool SearchFile(const char* stem, const char* extension, char* out, std::size_t size) override;
  bool IsFile(const char* path) override;
  bool FindLimitFile(const char* name, char* out, std::size_t size) override;

  // Moves the virtual clock on by `ms` milliseconds.
  void Advance(std::uint32_t ms);
  // From now on the virtual clock follows the real one.
  void FollowRealTime();
  std::uint64_t ElapsedMs();

  void SetCommandLine(std::string commandLine) { commandLine_ = std::move(commandLine); }

  // How often a command reached drive `drive` (any outcome; kLog: the
  // health log fetches of an NVMe drive). For tests.
  int CommandCount(int drive, SimCommand command) const {
    return counts_[drive][static_cast<int>(command)];
  }
  // How often a command other than CHECK POWER MODE reached drive `drive`
  // while it was in standby, spinning it up. For tests.
  int WakeUps(int drive) const { return wakeUps_[drive]; }
  // Handles open now. For tests.
  int OpenHandles() const { return openHandles_; }
  const Scenario& scenario() const { return scenario_; }

 private:
  // What the bridge fetches from NVMe drive `drive`.
  class NvmeDevice final : public NvmeAdmin {
   public:
    bool IdentifyController(std::uint8_t* data, std::uint32_t* errorCode) override;
    bool IdentifyNamespace(std::uint8_t* data, std::uint32_t* errorCode) override;
    bool ReadHealthLog(std::uint8_t* data, std::uint32_t* errorCode) override;

    SimDrives* sim = nullptr;
    int drive = 0;

   private:
    // Copies `bytes` (zeros after them) unless `command` is made to fail.
    bool Fetch(SimCommand command, const std::uint8_t* bytes, std::size_t n, std::size_t size,
               std::uint8_t* data, std::uint32_t* errorCode);
  };

  const SimEpoch& CurrentEpoch();
  int EpochIndex();
  // The drive a command on `handle` reaches, or -1 for a bad handle.
  int DriveOf(DeviceHandle handle, std::uint8_t driveNumber);
  bool SmartOn(int drive, const SimDriveState& state, int epoch);
  // Drive `drive` is in standby at epoch `epoch` (and not woken since the
  // scenario last set its power mode).
  bool Asleep(int drive, int epoch) const;

  Scenario scenario_;
  std::string commandLine_;
  std::uint64_t elapsedMs_ = 0;
  bool realTime_ = false;
  std::chrono::steady_clock::time_point realStart_;
  bool handleOpen_[11] = {};  // 0-9 drive devices, 10 the 9x driver
  int openHandles_ = 0;
  int enabledAtEpoch_[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  // last ENABLE
  int counts_[10][static_cast<int>(SimCommand::kCount)] = {};
  int wokenAtEpoch_[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};  // last wake-up
  int wakeUps_[10] = {};
  NvmeDevice nvme_[10];
};

}  // namespace kestrel
