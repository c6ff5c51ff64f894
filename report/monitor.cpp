#include "report/monitor.h"

#include <cstdio>

#include "ata/ata_channel.h"
#include "records/host.h"
#include "scan/scan.h"

namespace kestrel {

namespace {

MonitorState g_state;
MonitorHost* g_host = nullptr;
bool g_busy = false;
int g_announceCooldown = 0;
void (*g_end)(void*) = nullptr;
void* g_endContext = nullptr;

// Ticks to let pass after a notice: one notice every six ticks at most.
constexpr int kAnnounceCooldown = 5;

struct Mark {
  std::uint8_t bit;
  const char* label;
  std::uint32_t MonitorSlot::*pending;
};

// The order in which a slot's marks are logged.
constexpr Mark kLogOrder[] = {
    {CurrentChanged, "現在値", &MonitorSlot::pendingCurrent},
    {WorstChanged, "最悪値", &MonitorSlot::pendingWorst},
    {RawChanged, "ロウデータ", &MonitorSlot::pendingRaw},
    {GoodnessChanged, "良好度", &MonitorSlot::pendingGoodness},
};

// The order in which a slot's pending changes are announced.
constexpr Mark kAnnounceOrder[] = {
    {RawChanged, "ロウデータ", &MonitorSlot::pendingRaw},
    {CurrentChanged, "現在値", &MonitorSlot::pendingCurrent},
    {GoodnessChanged, "良好度", &MonitorSlot::pendingGoodness},
    {WorstChanged, "最悪値", &MonitorSlot::pendingWorst},
};

class BusyGuard {
 public:
  BusyGuard() { g_busy = true; }
  ~BusyGuard() { g_busy = false; }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;
};

void WriteLogLine(MonitorState& state, int drive, const DriveAttribute& a, const Mark& mark,
                  const LocalTime& t) {
  char line[256];
  int n;
  const char* stamp = "%04hu/%02hu/%02hu %02hu:%02hu\tATA#%d\t%02X\t%s\t";
  char head[96];
  std::snprintf(head, sizeof head, stamp, t.year, t.month, t.day, t.hour, t.minute, drive, a.id,
                mark.label);
  switch (mark.bit) {
    case CurrentChanged:
      n = std::snprintf(line, sizeof line, "%s%u\r\n", head, a.current);
      break;
    case WorstChanged:
      n = std::snprintf(line, sizeof line, "%s%u\r\n", head, a.worst);
      break;
    case RawChanged:
      n = std::snprintf(line, sizeof line, "%s%s\r\n", head, a.rawText);
      break;
    default:
      n = std::snprintf(line, sizeof line, "%s%d\r\n", head, a.goodness);
      break;
  }
  if (n <= 0) return;
  // Write errors are not reported: the next line tries the same file again.
  state.logBytes +=
      static_cast<std::int64_t>(std::fwrite(line, 1, static_cast<std::size_t>(n), state.logFile));
}

// Logs drive `d`'s marks, queues them for notices and shows the time of
// its reading.
void LogDrive(MonitorState& state, DriveRecord& r, int d) {
  MonitorSlot& slot = state.slots[d];
  for (int j = 0; j < kMaxAttributes; ++j) {
    const DriveAttribute& a = r.attributes[j];
    for (const Mark& mark : kLogOrder) {
      if (!(a.changeBits & mark.bit)) continue;
      slot.*mark.pending |= 1u << j;
      if (state.logFile != nullptr) WriteLogLine(state, d, a, mark, r.lastEvaluated);
    }
  }
  r.status &= ~static_cast<std::uint32_t>(StatusWarningSeen | StatusErrorSeen);
  char text[64];
  const LocalTime& t = r.lastEvaluated;
  std::snprintf(text, sizeof text, "取得時刻: %04hu-%02hu-%02hu %02hu:%02hu", t.year, t.month,
                t.day, t.hour, t.minute);
  g_host->SetStatusText(1, text);
}

// Notices name a drive "ATA#N" (serial ATA ones too), an NVMe drive
// "NVMe#N"; the log keeps "ATA#N" for all.
const char* NoticeBadge(const DriveRecord& r) {
  return r.transport == DriveTransport::kNvme ? "NVMe" : "ATA";
}

void Announce(MonitorState& state) {
  if (g_announceCooldown > 0) {
    --g_announceCooldown;
    return;
  }
  for (int d = 0; d < kMaxDrives; ++d) {
    MonitorSlot& slot = state.slots[d];
    if (slot.pendingVerdict || slot.pendingSilence) {
      const bool verdict = slot.pendingVerdict != 0;
      (verdict ? slot.pendingVerdict : slot.pendingSilence) = 0;
      const DriveRecord& r = TheDriveTable().records[d];
      char text[128];
      std::snprintf(text, sizeof text,
                    verdict ? "ドライブ%s#%dが自己診断でSMARTのしきい値超過を報告しました."
                            : "ドライブ%s#%dがSMARTのコマンドに答えなくなりました.",
                    NoticeBadge(r), d);
      g_host->Noticed(
          NoticeDetails{d, &r, -1, "", verdict ? "自己診断" : "応答なし", verdict ? 2 : 1, text});
      g_host->ShowNotice(text, verdict ? 3 : 2);
      g_host->SetStatusText(0, text);
      g_announceCooldown = kAnnounceCooldown;
      return;
    }
    for (int j = 0; j < kMaxAttributes; ++j) {
      for (const Mark& mark : kAnnounceOrder) {
        if (!(slot.*mark.pending & (1u << j))) continue;
        slot.*mark.pending &= ~(1u << j);
        DriveTable* table = LockDriveTable();
        if (table == nullptr) return;  // this notice is lost
        const DriveAttribute& a = table->records[d].attributes[j];
        char text[256];
        std::snprintf(text, sizeof text, "ドライブ%s#%dの属性%02X(%s)の%sが変化しました.",
                      NoticeBadge(table->records[d]), d, a.id, a.name, mark.label);
        int icon = (a.changeBits & AttrError) ? 3 : (a.changeBits & AttrWarning) ? 2 : 1;
        g_host->Noticed(
            NoticeDetails{d, &table->records[d], a.id, a.name, mark.label, icon - 1, text});
        g_host->ShowNotice(text, icon);
        UnlockDriveTable();
        g_host->SetStatusText(0, text);
        g_announceCooldown = kAnnounceCooldown;
        return;
      }
    }
  }
}

void RunMonitorStep() {
  BusyGuard guard;
  MonitorState& state = g_state;
  Environment* env = InstalledServices().env;

  std::uint32_t due = 0;
  std::uint32_t dueAt[kMaxDrives] = {};
  for (int d = 0; d < kMaxDrives; ++d) {
    MonitorSlot& slot = state.slots[d];
    if (!slot.enabled) continue;
    // Unsigned subtraction: the interval holds across the counter's wrap.
    if (env->TickCount() - slot.lastReadTick < slot.intervalMs) continue;
    const DriveRecord& record = TheDriveTable().records[d];
    if (state.standbyAware && record.transport == DriveTransport::kAta) {
      // NVMe drives are read without spinning anything up: no check.
      slot.asleep = CheckPowerMode(d) == PowerMode::kStandby;
      if (slot.asleep) {
        slot.lastReadTick = env->TickCount();
        continue;
      }
    }
    const std::uint32_t before = record.status;
    const std::uint32_t status = ReadSmartStatus(d);
    if ((status & SmartFailing) && !(before & SmartFailing)) slot.pendingVerdict = 1;
    // A drive that answered and now does not (unplugged, switched off, a
    // device gone) is announced once; it is asked again at every tick.
    if ((before & SmartEnabled) && !(status & SmartEnabled)) slot.pendingSilence = 1;
    if (status & SmartEnabled) {
      due |= 1u << d;
      dueAt[d] = env->TickCount();
    }
  }

  if (due != 0) {
    // The lock is taken here, before the re-read takes it again: when it
    // cannot be had (LockDriveTable has said so, once) nothing is read or
    // logged, and the drives keep their time of reading, so they are due
    // again at the next tick.
    if (DriveTable* table = LockDriveTable()) {
      for (int d = 0; d < kMaxDrives; ++d) {
        if (due & (1u << d)) state.slots[d].lastReadTick = dueAt[d];
      }
      // A due drive that could not be evaluated (data not read, or a bad
      // checksum) still holds the marks of its previous evaluation; it is
      // left out of this tick so that no change is logged or announced
      // twice.
      std::uint32_t evaluated = RereadSmart(due);
      std::int64_t blocksBefore = state.logBytes / 512;
      int overall = 0;
      for (int d = 0; d < kMaxDrives; ++d) {
        DriveRecord& r = table->records[d];
        if (!(r.state & Usable)) continue;
        if (evaluated & (1u << d)) LogDrive(state, r, d);
        if (r.status & StatusError) {
          overall = 2;
        } else if ((r.status & StatusWarning) && overall != 2) {
          overall = 1;
        }
      }
      if (overall != state.trayState) {
        g_host->ChangeTrayIcon(overall);
        state.trayState = overall;
      }
      if (state.logFile != nullptr && state.logBytes / 512 > blocksBefore) {
        std::fflush(state.logFile);
      }
      UnlockDriveTable();
    }
  }
  Announce(state);
}

}  // namespace

MonitorState& TheMonitorState() { return g_state; }

void InstallMonitorHost(MonitorHost* host) { g_host = host; }
MonitorHost* InstalledMonitorHost() { return g_host; }

void StartMonitor(const DriveTable& table) {
  for (MonitorSlot& slot : g_state.slots) slot = MonitorSlot{};
  g_state.trayState = 0;
  g_state.standbyAware = false;
  g_announceCooldown = 0;
  for (int d = 0; d < kMaxDrives; ++d) {
    if (!(table.records[d].state & Present)) continue;
    g_state.slots[d].enabled = 1;
    g_state.slots[d].intervalMs = 30000;
  }
}

void MakeDrivesDue() {
  const std::uint32_t now = InstalledServices().env->TickCount();
  for (MonitorSlot& slot : g_state.slots) {
    if (slot.enabled) slot.lastReadTick = now - slot.intervalMs;
  }
}

void MonitorTick() {
  if (g_busy) return;
  RunMonitorStep();
  if (g_end != nullptr) {
    void (*end)(void*) = g_end;
    g_end = nullptr;
    end(g_endContext);
  }
}

bool MonitorBusy() { return g_busy; }

void EndAfterMonitorTick(void (*end)(void*), void* context) {
  g_end = end;
  g_endContext = context;
}

}  // namespace kestrel
