// The full scan, the periodic re-read and the shutdown of the drive side.
#include <cstring>
#include <new>
#include <type_traits>

#include "ata/ata_channel.h"
#include "ata/ata_platform.h"
#include "defs/definitions.h"
#include "defs/evaluate.h"
#include "records/drive_table.h"
#include "records/host.h"
#include "scan/identity.h"
#include "scan/scan.h"

namespace kestrel {

static_assert(std::is_trivially_copyable_v<DriveRecord>, "the scan clears records byte by byte");

namespace {

std::uint16_t Word(const DriveRecord& r, int index) { return IdentifyWord(r.identify, index); }

bool ValidatedWord(std::uint16_t w) { return (w & 0xC000) == 0x4000; }

void ResetTable(DriveTable& table) {
  std::memset(table.records, 0, sizeof table.records);
  // Zero is a real descriptor (standard input) on Linux: a slot the scan
  // never opens must hold no handle at all.
  for (DriveRecord& r : table.records) r.handle = kInvalidDeviceHandle;
  table.errorLevel = 0;
  table.warningLevel = 0;
  table.errorLimits = nullptr;
  table.warningLimits = nullptr;
  table.definitionPath[0] = '\0';
  table.sectionNames.storage.clear();
  table.sectionNames.sorted.clear();
  table.isWin9x = false;
  table.lock.reset();
  table.ownerWindow = nullptr;
  table.statusWindow = nullptr;
}

// Closes a drive found unusable. On the 9x family the one handle in slot 0
// serves every drive and stays open until CloseAtaDrives.
void CloseUnusableDrive(DriveTable& table, DriveRecord& r) {
  if (table.isWin9x) return;
  if (r.handle != kInvalidDeviceHandle) {
    InstalledServices().ata->CloseDevice(r.handle);
    r.handle = kInvalidDeviceHandle;
  }
}

void RunDriveSequence(DriveTable& table, int d) {
  DriveRecord& r = table.records[d];
  r.state |= Usable;

  if (SendAtaCommand(kIdentifyDevice, d, r.identify) != kAtaOk &&
      SendAtaCommand(kIdentifyPacketDevice, d, r.identify) != kAtaOk) {
    r.state &= ~static_cast<std::uint32_t>(Present | Usable);
  }
  if (!(r.state & Usable)) {
    CloseUnusableDrive(table, r);
    return;
  }

  // Byte 510 = 0xA5 announces a checksum in byte 511; without it the
  // sector is not summed.
  if (r.identify[510] == 0xA5) TestChecksum(r.identify, kIdentitySectorName, d);

  DecodeIdentity(r);
  ReadDefinitionString(r.modelNumber, "Comment", r.comment, sizeof r.comment);

  std::uint16_t word0 = Word(r, 0);
  if (word0 & 0x8000) {
    ReportMessage(kStyleInformation,
                  "ドライブ%d(パケットデバイス:%s)ではSMARTはサポートされません.", d,
                  DeviceTypeName(word0));
    r.state &= ~static_cast<std::uint32_t>(Usable);
    CloseUnusableDrive(table, r);
    return;
  }

  if (ValidatedWord(Word(r, 83))) {
    r.status &= ~static_cast<std::uint32_t>(SmartSupportUndetermined);
    if (Word(r, 82) & 1) {
      r.status |= SmartSupported;
      ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTをサポートします.", d);
    } else {
      ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTをサポートしません.", d);
      r.status &= ~static_cast<std::uint32_t>(SmartSupported);
      r.state &= ~static_cast<std::uint32_t>(Usable);
    }
  } else {
    r.status &= ~static_cast<std::uint32_t>(SmartSupported);
    r.status |= SmartSupportUndetermined;
    ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTをサポートするか不明です.", d);
  }
  if (!(r.state & Usable)) {
    CloseUnusableDrive(table, r);
    return;
  }

  if (ValidatedWord(Word(r, 87))) {
    if (Word(r, 85) & 1) {
      r.status |= SmartEnabled;
      ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTが有効です.", d);
    } else {
      ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTが無効です.", d);
      r.status &= ~static_cast<std::uint32_t>(SmartEnabled);
      r.state &= ~static_cast<std::uint32_t>(Usable);
    }
  } else {
    ReportMessage(kStyleStatusOnly, "ドライブ%dはSMARTが有効か不明です.", d);
    r.status &= ~static_cast<std::uint32_t>(SmartEnabled);
    r.state &= ~static_cast<std::uint32_t>(Usable);
  }

  // Switched on whatever the identity said: a drive that reports SMART off
  // (or does not say) may still accept it.
  if (SendAtaCommand(kSmartEnableOperations, d, nullptr) == kAtaOk) {
    ReportMessage(kStyleStatusOnly, "ドライブ%dのSMARTを%s効にしました.", d, "有");
    r.status |= SmartSupported | SmartEnabled;
    r.state |= Usable;
  } else {
    ReportMessage(kStyleInformation, "ドライブ%dのSMARTを%s効にできません.", d, "有");
  }

  if (!(r.state & Usable)) {
    CloseUnusableDrive(table, r);
    return;
  }

  if (SendAtaCommand(kSmartReadThresholds, d, r.thresholds) != kAtaOk) {
    ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性の閾値取得に失敗しました.", d);
    return;
  }
  ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性の閾値取得に成功しました.", d);
  if (TestChecksum(r.thresholds, kThresholdsSectorName, d) != 0) {
    r.state |= ThresholdsStale;
  } else {
    BuildAttributes(d);
  }
}

}  // namespace

void ScanDrives(WindowHandle ownerWindow, WindowHandle statusWindow) {
  DriveTable& table = TheDriveTable();
  const Services& services = InstalledServices();

  if (services.env->KeyChordHeld()) table.rawHexMode = true;
  ResetTable(table);
  table.ownerWindow = ownerWindow;
  table.statusWindow = statusWindow;
  table.isWin9x = services.ata->IsWin9xFamily();
  LoadDefinitions();

  table.lock.reset(new (std::nothrow) std::recursive_timed_mutex);
  if (!table.lock) {
    ReportMessage(kStyleExclamation, "MUTEXオブジェクトの作成に失敗しました.");
  }

  // The lock was made a moment ago by this thread, so the wait cannot fail
  // unless another thread took it at once; the scan then opens nothing and
  // the table stays empty, which start-up treats as "no drive".
  if (LockDriveTable() == nullptr) return;
  OpenAtaDrives();
  for (int d = 0; d < kMaxDrives; ++d) {
    if (table.records[d].state & Present) RunDriveSequence(table, d);
  }
  UnlockDriveTable();
}

std::uint32_t RereadSmart(std::uint32_t driveMask) {
  // When the lock cannot be had, nothing is read: the drives stay due and
  // the next tick tries again.
  DriveTable* table = LockDriveTable();
  if (table == nullptr) return 0;

  std::uint32_t evaluated = 0;
  for (int d = 0; d < kMaxDrives; ++d) {
    DriveRecord& r = table->records[d];
    if (!(driveMask & (1u << d)) || !(r.state & Usable)) continue;

    if (r.state & ThresholdsStale) {
      if (SendAtaCommand(kSmartReadThresholds, d, r.thresholds) != kAtaOk) {
        ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性の閾値再取得に失敗しました.", d);
      } else {
        ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性の閾値再取得に成功しました.", d);
        if (TestChecksum(r.thresholds, kThresholdsSectorName, d) == 0) {
          r.state &= ~static_cast<std::uint32_t>(ThresholdsStale);
          BuildAttributes(d);
        }
      }
    }

    if (SendAtaCommand(kSmartReadData, d, r.smartData) != kAtaOk) {
      ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性値の取得に失敗しました.", d);
      continue;
    }
    ReportMessage(kStyleStatusOnly, "ドライブ%dのSMART属性値の取得に成功しました.", d);
    if (TestChecksum(r.smartData, kDataSectorName, d) == 0) {
      EvaluateAttributes(d);
      evaluated |= 1u << d;
    }
  }
  UnlockDriveTable();
  return evaluated;
}

void ShutdownDrives() {
  DriveTable& table = TheDriveTable();
  CloseAtaDrives();
  table.lock.reset();
  ReleaseDefinitions();
}

}  // namespace kestrel
