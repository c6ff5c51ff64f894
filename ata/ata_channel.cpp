#include "ata/ata_channel.h"

#include <cstdio>
#include <cstring>

#include "ata/ata_platform.h"
#include "records/drive_table.h"
#include "records/host.h"

namespace kestrel {

namespace {

struct CommandInfo {
  std::uint8_t code;
  std::uint8_t sectorCount;
  std::uint8_t sectorNumber;
  AtaDataMode mode;
};

constexpr CommandInfo kCommands[] = {
    {kIdentifyDevice, 1, 0, AtaDataMode::kSectorIn},
    {kIdentifyPacketDevice, 1, 0, AtaDataMode::kSectorIn},
    {kSmartReadData, 1, 1, AtaDataMode::kSectorIn},
    {kSmartReadThresholds, 1, 1, AtaDataMode::kSectorIn},
    {kSmartEnableOperations, 0, 1, AtaDataMode::kNone},
    {kSmartReturnStatus, 0, 0, AtaDataMode::kReturnRegisters},
};

const CommandInfo* FindCommand(std::uint8_t code) {
  for (const CommandInfo& c : kCommands) {
    if (c.code == code) return &c;
  }
  return nullptr;
}

bool IsIdentify(std::uint8_t code) {
  return code == kIdentifyDevice || code == kIdentifyPacketDevice;
}

constexpr std::uint32_t kErrorFileNotFound = 2;

// Where a command for drive `drive` goes: its own device, or on the 9x
// family the one driver device, with the drive in the command (odd drives
// are the slaves of their channel).
struct Route {
  DeviceHandle handle;
  std::uint8_t driveNumber;
  std::uint8_t driveHead;
};

Route RouteTo(const DriveTable& table, int drive) {
  if (!table.isWin9x) return Route{table.records[drive].handle, 0, 0xA0};
  return Route{table.records[0].handle, static_cast<std::uint8_t>(drive),
               static_cast<std::uint8_t>((drive & 1) ? 0xB0 : 0xA0)};
}

void ShowDiagnosis(const char* text, int style) {
  MessageSink* sink = InstalledServices().sink;
  sink->Note(style, text);
  sink->ShowMessageBox(nullptr, "Varne", text, style);
}

// The 9x SMART driver device does not exist: tell where its file is.
void DiagnoseWin9xDriver() {
  AtaPlatform* ata = InstalledServices().ata;
  char systemDir[260];
  if (!ata->SystemDirectory(systemDir, sizeof systemDir)) return;

  char path[300];
  char text[1024];
  std::snprintf(path, sizeof path, "%s\\IOSUBSYS\\SMARTVSD.VXD", systemDir);
  if (ata->FileExists(path)) {
    std::snprintf(text, sizeof text,
                  "ドライバ \"%s\" はロードされていません.\r"
                  "おそらくIDE/ATAデバイスが存在しません.",
                  path);
    ShowDiagnosis(text, kStyleQuestion);
    return;
  }
  std::snprintf(path, sizeof path, "%s\\SMARTVSD.VXD", systemDir);
  if (ata->FileExists(path)) {
    std::snprintf(text, sizeof text,
                  "ドライバが正しくインストールされていません.\r"
                  "\"%s\"の SMARTVSD.VXD を \"%s\\IOSUBSYS\"に移動して\r"
                  "Windowsを再起動して下さい.",
                  systemDir, systemDir);
    ShowDiagnosis(text, kStyleInformation);
    return;
  }
  std::snprintf(text, sizeof text, "SMARTVSD.VXD が \"%s\\IOSUBSYS\"に存在しません.", systemDir);
  ShowDiagnosis(text, kStyleStop);
}

}  // namespace

void OpenAtaDrives() {
  DriveTable& table = TheDriveTable();
  AtaPlatform* ata = InstalledServices().ata;
  for (DriveRecord& r : table.records) {
    r.state = 0;
    r.transport = DriveTransport::kAta;
    r.handle = kInvalidDeviceHandle;
  }

  for (int i = 0; i < kMaxDrives; ++i) {
    DriveRecord& r = table.records[i];
    char name[32];
    if (table.isWin9x) {
      std::snprintf(name, sizeof name, "\\\\.\\SMARTVSD");
    } else {
      std::snprintf(name, sizeof name, "\\\\.\\PhysicalDrive%d", i);
    }
    std::uint32_t error = 0;
    r.handle = ata->OpenDevice(name, &error);
    if (r.handle == kInvalidDeviceHandle) {
      if (!table.isWin9x) continue;
      if (error == kErrorFileNotFound) DiagnoseWin9xDriver();
      return;
    }

    std::uint8_t deviceMap = 0;
    if (!ata->ProbeDevice(r.handle, &deviceMap)) {
      ata->CloseDevice(r.handle);
      r.handle = kInvalidDeviceHandle;
      if (!table.isWin9x) continue;
      return;
    }

    if (!table.isWin9x) {
      r.state |= Present;
      r.transport = ata->TransportOf(r.handle);
      continue;
    }
    // Bits 0-3: primary master, primary slave, secondary master, secondary
    // slave present; bits 4-7: the same position holds a packet device.
    for (int k = 0; k < 4; ++k) {
      if ((deviceMap & (1u << k)) && !(deviceMap & (1u << (k + 4)))) {
        table.records[k].state |= Present;
      }
    }
    return;
  }
}

int SendAtaCommand(std::uint8_t command, int drive, std::uint8_t* buffer) {
  const CommandInfo* info = FindCommand(command);
  if (info == nullptr || drive < 0 || drive >= kMaxDrives) return kAtaFailed;
  DriveTable& table = TheDriveTable();

  AtaRegisters regs{};
  regs.features = command;
  regs.sectorCount = info->sectorCount;
  regs.sectorNumber = info->sectorNumber;
  regs.cylinderLow = IsIdentify(command) ? 0 : 0x4F;
  regs.cylinderHigh = IsIdentify(command) ? 0 : 0xC2;
  regs.command = IsIdentify(command) ? command : 0xB0;
  const Route route = RouteTo(table, drive);
  regs.driveHead = route.driveHead;

  std::uint8_t sector[512];
  AtaOutcome out = InstalledServices().ata->SendCommand(route.handle, regs, route.driveNumber,
                                                        info->mode, sector);

  if (!out.callSucceeded) {
    if (command != kSmartReturnStatus) {
      unsigned long e = out.errorCode;
      ReportMessage(kStyleStop, "DeviceIoControl(%d)に失敗しました!(%8lX/%lu)", drive, e, e);
    }
    return kAtaFailed;
  }
  if (out.driverError != 0) {
    ReportMessage(kStyleStop, "ドライブ%dのドライバエラー0x%02X/IDEエラー=0x%02Xです.", drive,
                  out.driverError, out.ideError);
    return kAtaFailed;
  }
  switch (info->mode) {
    case AtaDataMode::kSectorIn:
      if (buffer != nullptr) std::memcpy(buffer, sector, sizeof sector);
      return kAtaOk;
    case AtaDataMode::kReturnRegisters:
      if (out.returned.cylinderHigh == 0xC2 && out.returned.cylinderLow == 0x4F) {
        return kAtaOk;
      }
      if (out.returned.cylinderHigh == 0x2C && out.returned.cylinderLow == 0xF4) {
        return kAtaThresholdExceeded;
      }
      ReportMessage(kStyleStop, "ドライブ%dのSMARTステータスコマンドが失敗しました.", drive);
      return kAtaFailed;
    case AtaDataMode::kNone:
      break;
  }
  return kAtaOk;
}

std::uint32_t ReadSmartStatus(int drive) {
  DriveRecord& r = TheDriveTable().records[drive];
  const int result = SendAtaCommand(kSmartReturnStatus, drive, nullptr);
  if (result == kAtaFailed) {
    r.status &= ~static_cast<std::uint32_t>(SmartEnabled);
    return r.status;
  }
  r.status |= SmartEnabled;
  // The drive's own verdict holds until it answers "normal" again; it is
  // an error at once, before any attribute is read.
  if (result == kAtaThresholdExceeded) {
    r.status |= SmartFailing | StatusError | StatusErrorSeen;
  } else {
    r.status &= ~static_cast<std::uint32_t>(SmartFailing);
  }
  return r.status;
}

PowerMode CheckPowerMode(int drive) {
  if (drive < 0 || drive >= kMaxDrives) return PowerMode::kUnknown;
  const Route route = RouteTo(TheDriveTable(), drive);
  AtaRegisters regs{};
  regs.command = 0xE5;
  regs.driveHead = route.driveHead;
  const AtaOutcome out = InstalledServices().ata->SendCommand(
      route.handle, regs, route.driveNumber, AtaDataMode::kReturnRegisters, nullptr);
  if (!out.callSucceeded || out.driverError != 0) return PowerMode::kUnknown;
  // The registers came back when the status register does (a ready drive
  // sets DRDY, in standby too); a bridge that answers without them must
  // not read as a drive in standby, or it would never be read again.
  constexpr std::uint8_t kStatusReady = 0x40;
  if (!(out.returned.command & kStatusReady)) return PowerMode::kUnknown;
  switch (out.returned.sectorCount) {
    case 0x00:
    case 0x01:
      return PowerMode::kStandby;
    case 0x40:
    case 0x41:
    case 0x80:
    case 0x81:
    case 0x82:
    case 0x83:
    case 0xFF:
      return PowerMode::kActive;
    default:
      return PowerMode::kUnknown;
  }
}

void CloseAtaDrives() {
  AtaPlatform* ata = InstalledServices().ata;
  DriveTable& table = TheDriveTable();
  for (int i = 0; i < kMaxDrives; ++i) {
    DriveRecord& r = table.records[i];
    if (r.handle == kInvalidDeviceHandle) continue;
    if (!ata->CloseDevice(r.handle)) {
      std::printf("CloseAtaDrives(%d) failed!\n", i);
      std::fflush(stdout);
    }
    r.handle = kInvalidDeviceHandle;
  }
}

}  // namespace kestrel
