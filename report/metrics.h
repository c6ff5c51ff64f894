// The drive table in the Prometheus text exposition format (version
// 0.0.4), for a scrape over HTTP or node_exporter's textfile collector.
// Platform-free: it only formats what it is given.
#pragma once

#include <cstdint>
#include <string>

#include "records/drive_table.h"

namespace kestrel {

// What the rendering shows besides the drives: the overall health and the
// exporter's own counters.
struct MetricsExtras {
  int trayState = 0;               // 0 normal, 1 warning, 2 error
  std::uint32_t asleepDrives = 0;  // bit d: drive d was found in standby
  std::uint64_t monitorTicks = 0;  // monitor steps run
  std::uint64_t httpRequests = 0;  // requests answered
  std::uint64_t httpErrors = 0;    // of them, answered with an error status
  bool withHttp = false;           // the two HTTP counters are shown
};

// Every drive of `records` (kMaxDrives slots; a slot whose state is 0 is
// left out) with # HELP and # TYPE lines:
//   kestrel_attribute_{current,worst,threshold,raw,goodness,level}
//     {drive,model,serial,id,name}  (threshold: only a listed one; level
//     0 normal, 1 warning, 2 error)
//   kestrel_drive_info{drive,model,serial,firmware,transport} 1
//   kestrel_drive_status{drive,model,serial,bit} 0 or 1, one per status bit
//   kestrel_drive_last_read_timestamp_seconds{drive,model,serial}
//     (a drive not read yet has none)
//   kestrel_drive_asleep{drive,model,serial} 1 while found in standby
//   kestrel_tray_state, kestrel_monitor_ticks_total,
//   kestrel_http_requests_total, kestrel_http_request_errors_total.
// Texts are decoded from code page 932 to UTF-8 and label values escaped
// (backslash, double quote, line feed). Appends to *out.
void RenderMetrics(const DriveRecord (&records)[kMaxDrives], const MetricsExtras& extras,
                   std::string* out);

// A local time as seconds since 1970 (the time zone's rules through
// mktime); 0 for a zero time.
std::int64_t LocalTimeToUnixSeconds(const LocalTime& t);

}  // namespace kestrel
