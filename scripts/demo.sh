#!/usr/bin/env bash
# The main job on the bundled demo drives: builds kestrel-cli and watches
# the five drives of data/demo.scenario for 250 simulated seconds, in
# which two of them wear out. It prints the monitor's lines (TRAY, NOTICE,
# STATUS), writes the change log build/host/demo.log and the health report
# build/host/html/<status>/report.html, and ends with the drive table.
# Extra arguments go to kestrel-cli (for example --json).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh host
cmake --preset host >/dev/null
cmake --build --preset host --target kestrel-cli >/dev/null
cd build/host
rm -f demo.log
exec ./kestrel-cli --sim ../../data/demo.scenario --ticks 250 --report "$@" /l demo.log
