// kestrel-cli's --notify-exec: a program run for every notice, without a
// shell, with what the notice is about in its environment (UTF-8):
//   KESTREL_DRIVE        drive index ("3")
//   KESTREL_MODEL        KESTREL_SERIAL
//   KESTREL_ATTRIBUTE    attribute id in hex ("C5"), "" for the verdict
//   KESTREL_NAME         attribute name
//   KESTREL_CHANGE       what changed: current, worst, raw, goodness,
//                        verdict (the drive's own), silent (no answer)
//   KESTREL_LEVEL        normal, warning, error
//   KESTREL_NOTICE       the notice text
// The environment of kestrel-cli itself comes along (PATH, HOME...).
//
// The watch never waits for the program: it is started and left to run;
// Reap() (after each tick) collects the ones that ended and kills those
// that ran past the time limit. At most kMaxRunning run at once; a notice
// beyond that starts nothing and says so on standard error.
#pragma once

#include <sys/types.h>

#include <string>

#include "report/monitor.h"

namespace kestrel {

class NotifyHook {
 public:
  static constexpr int kMaxRunning = 8;
  static constexpr int kTimeLimitSeconds = 10;

  explicit NotifyHook(std::string program) : program_(std::move(program)) {}
  NotifyHook(const NotifyHook&) = delete;
  NotifyHook& operator=(const NotifyHook&) = delete;
  // Kills and collects what still runs.
  ~NotifyHook();

  // Starts the program for one notice.
  void Run(const NoticeDetails& notice);
  // Collects the programs that ended; kills those past the time limit.
  void Reap();
  int running() const;

 private:
  struct Child {
    pid_t pid = 0;
    long started = 0;  // seconds on the monotonic clock
  };
  std::string program_;
  Child children_[kMaxRunning];
};

}  // namespace kestrel
