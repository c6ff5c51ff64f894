#!/usr/bin/env bash
# The main job on the bundled demo drives.
#
# With a display ($DISPLAY set), Wine installed and no arguments: builds
# the win64 preset and runs KestrelSim.exe, the Windows program on
# simulated drives, on data/demo.scenario under Wine on that display, from
# build/win64 (beside its HTML folder and help page), logging the changes
# to build/win64/demo.log. The demo's DVD drive answers no SMART commands,
# so its message boxes come first; then the main window. Drive 3 wears out
# over the first four minutes; the tray icon, balloons and the status bar
# follow it, and "診断" writes and opens the report.
#
# Otherwise the Linux front end: builds kestrel-cli and watches
# the five drives of data/demo.scenario for 250 simulated seconds, in
# which two of them wear out. It prints the monitor's lines (TRAY, NOTICE,
# STATUS), writes the change log build/host/demo.log and the health report
# build/host/html/<status>/report.html, and ends with the drive table.
# Extra arguments go to kestrel-cli (for example --json).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -n "${DISPLAY:-}" && $# -eq 0 ]] && command -v wine >/dev/null; then
  scripts/install-deps.sh win-demo
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 --target kestrel-sim kestrel_help >/dev/null
  source scripts/wine-env.sh
  use_wine_prefix build/win64
  cd build/win64
  rm -f demo.log
  export KESTREL_SCENARIO='..\..\data\demo.scenario'
  exec wine KestrelSim.exe /l demo.log
fi
scripts/install-deps.sh demo
cmake --preset host >/dev/null
cmake --build --preset host --target kestrel-cli >/dev/null
cd build/host
rm -f demo.log
exec ./kestrel-cli --sim ../../data/demo.scenario --ticks 250 --report "$@" /l demo.log
