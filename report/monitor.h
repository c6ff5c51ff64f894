// The change monitor: once a second it finds the drives that are due, has
// them re-read and judged, writes one log line per change, keeps the
// overall health that the tray icon shows, and announces the changes one
// at a time.
//
// The monitor reaches the window side only through MonitorHost; the
// Windows program, kestrel-cli and the tests each implement it. Everything
// runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <cstdio>

#include "records/drive_table.h"

namespace kestrel {

// Per-drive monitoring state; every field 0 until start-up sets them.
struct MonitorSlot {
  int enabled;                   // the drive is watched
  std::uint32_t intervalMs;      // re-read interval
  std::uint32_t lastReadTick;    // tick counter when last found due
  std::uint32_t pendingCurrent;  // bit j: slot j has an unannounced change
  std::uint32_t pendingWorst;
  std::uint32_t pendingRaw;
  std::uint32_t pendingGoodness;
  int pendingVerdict;  // the drive has newly reported "threshold exceeded"
  int pendingSilence;  // the drive has stopped answering SMART RETURN STATUS
  int asleep;          // standby-aware: found in standby at its last check
};

// The main window's state that the monitor and the report use.
struct MonitorState {
  int trayState;          // 0 normal, 1 warning, 2 error
  std::FILE* logFile;     // the "/l" log, or nullptr
  std::int64_t logBytes;  // its length at opening plus every write
  MonitorSlot slots[kMaxDrives];
  // Before re-reading an ATA drive, ask its power mode: a drive in
  // standby is left asleep (and asked again a period later), for the
  // reading would spin it up. Off in the Windows program; kestrel-cli's
  // watch sets it, after start-up (which clears it), unless told --wake.
  bool standbyAware;
};

// The process's one monitor state (held for the main window).
MonitorState& TheMonitorState();

// What a notice is about, for hosts that pass it on (kestrel-cli's
// --notify-exec). Texts are code page 932; they live during the call.
struct NoticeDetails {
  int drive;
  const DriveRecord* record;
  int attributeId;   // -1: the drive's own verdict
  const char* name;  // the attribute's name, "" for the verdict
  // "現在値", "最悪値", "ロウデータ", "良好度"; "自己診断" for the drive's
  // own verdict, "応答なし" for a drive that stopped answering.
  const char* change;
  int level;         // 0 normal, 1 warning, 2 error
  const char* text;  // the notice as shown
};

// What the monitor and the report need of the window side.
class MonitorHost {
 public:
  MonitorHost() = default;
  MonitorHost(const MonitorHost&) = delete;
  MonitorHost& operator=(const MonitorHost&) = delete;
  virtual ~MonitorHost() = default;

  // Shows the tray icon of health `state` (0 normal, 1 warning, 2 error).
  virtual void ChangeTrayIcon(int state) = 0;

  // Puts `text` into the tray tooltip and, when balloons are on, shows it
  // as a balloon with icon `balloonIcon` (1 information, 2 warning,
  // 3 error).
  virtual void ShowNotice(const char* text, int balloonIcon) = 0;

  // Called with each notice, before ShowNotice. The default does nothing.
  virtual void Noticed(const NoticeDetails&) {}

  // Sets part `part` (0 notices, 1 acquisition time) of the status bar.
  virtual void SetStatusText(int part, const char* text) = 0;

  // Opens `path` (a page) with the desktop's default handler.
  virtual void OpenPage(const char* path) = 0;
};

// Installs the host the monitor and the report use from now on.
void InstallMonitorHost(MonitorHost* host);
MonitorHost* InstalledMonitorHost();

// Start-up: clears every slot, the health (0), standby awareness and the
// notice cooldown, then watches every Present drive every 30 seconds. The
// log file stays. The caller holds the table lock.
void StartMonitor(const DriveTable& table);

// Makes every watched drive due at the next step, however long the system
// has been up: a one-shot diagnosis reads the drives at once, where the
// watch waits for the first 30 seconds of uptime.
void MakeDrivesDue();

// One step of the monitor. Returns at once while another step runs.
void MonitorTick();

// Whether a step of the monitor is under way. A message box shown during a
// step runs a nested message loop, in which the user may still choose to
// end the program.
bool MonitorBusy();

// Runs `end(context)` once the step under way has returned, as its last
// act: the program's end, asked for inside such a nested loop, must not
// close the log, the drives and the lock under the step that uses them.
// A later call replaces an earlier one not yet run. REQUIRES: MonitorBusy().
void EndAfterMonitorTick(void (*end)(void*), void* context);

}  // namespace kestrel
