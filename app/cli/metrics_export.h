// kestrel-cli's Prometheus metrics (report/metrics.h): written to a file
// for node_exporter's textfile collector (--metrics-file) and served over
// HTTP at /metrics (--metrics-listen).
//
// The monitor's thread renders the drive table after each tick, under the
// table lock, into a text guarded by a mutex of its own; the server's
// thread only takes a reference to that text, so a scrape never takes
// the drive lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel {

class MetricsExport {
 public:
  MetricsExport();
  MetricsExport(const MetricsExport&) = delete;
  MetricsExport& operator=(const MetricsExport&) = delete;
  ~MetricsExport();

  // Writes the file `file` (empty: none) after the first tick and after
  // each that read a drive; serves on `host`:`port` (port 0: no server)
  // from a thread of its own, which blocks SIGINT, SIGTERM and SIGHUP.
  // Returns false with a reason when the address cannot be bound.
  bool Start(const std::string& file, const std::string& host, int port, std::string* error);

  // After a monitor tick; `readDrive`: it read a drive; `asleepDrives`:
  // bit d, drive d was found in standby. The file is written again when
  // a drive was read or one fell asleep or woke. Takes the table lock
  // while it renders.
  void AfterTick(bool readDrive, int trayState, std::uint32_t asleepDrives);

  // Stops the server and waits for its thread.
  void Stop();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrel
