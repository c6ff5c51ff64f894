#!/usr/bin/env bash
# The Windows programs end to end under Wine, in an Xvfb display of their
# own and the build's Wine prefix, driven by window messages from
# tests/win32/e2e/driver.cpp:
#   1. Kestrel.exe from the distribution folder: Wine answers no SMART
#      device, so it stops with its message box and never shows its window.
#   2. KestrelSim.exe on two_drives.scenario with "/l": window, status bar,
#      drive windows, version box, settings, report, menus, tray icon, the
#      scenario's change in the log, the status bar and a balloon, WM_CLOSE.
#   3. KestrelSim.exe with the HideOnStart=1 that run 2 wrote.
# Screenshots (PNG) of the stop box, the main window, the drive windows and
# the tray menu, the log and the settings file land in BUILD_DIR/e2e/.
#
#   run.sh BUILD_DIR DRIVER_EXE
#
# ctest --preset win64 runs it as win32_end_to_end, alone: at the end it
# stops every Wine process of the build's prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=$(cd "${1:?usage: run.sh BUILD_DIR DRIVER_EXE}" && pwd)
driver=$(cd "$(dirname "${2:?usage: run.sh BUILD_DIR DRIVER_EXE}")" && pwd)/$(basename "$2")
dist=$build/dist/Kestrel
out=$build/e2e
if [[ ! -f $dist/Kestrel.exe || ! -f $build/KestrelSim.exe ]]; then
  echo "Build the win64 preset first: no $dist/Kestrel.exe or $build/KestrelSim.exe" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$out"

source "$root/scripts/wine-env.sh"
start_wine_display "$build"
# The report is written but no browser opens it in the test's display.
# Without winemenubuilder Wine 8 also draws the virtual desktop, with its
# taskbar and the windows' frames, instead of leaving them on a bare root.
export WINEDLLOVERRIDES="winebrowser.exe,iexplore.exe,winemenubuilder.exe=d"

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# One virtual desktop for the programs and the driver (the driver sees no
# windows of another desktop), up before the first of them starts: the
# driver's "ready" run inside it says so.
wine explorer /desktop=Default,1024x768 "$driver" ready "$(winpath "$out/desktop-up")" \
  >>"$out/wine.log" 2>&1 &
for _ in $(seq 300); do
  [[ -e $out/desktop-up ]] && break
  sleep 0.1
done
[[ -e $out/desktop-up ]] || { echo "The Wine desktop did not come up" >&2; exit 1; }

start_program() {  # folder, program and arguments
  local folder=$1
  shift
  (cd "$folder" && exec wine "$@") >>"$out/wine.log" 2>&1 &
  program_pid=$!
}

# Runs the driver, takes the screenshots it asks for ("SNAP name") and
# waits for the program to end.
failed=()
drive() {  # case name, driver arguments
  local name=$1 status line
  shift
  echo "-- $name"
  set +e
  timeout 180 wine "$driver" "$@" 2>>"$out/wine.log" | while IFS= read -r line; do
    line=${line%$'\r'}
    if [[ $line == "SNAP "* ]]; then
      import -display "$DISPLAY" -window root "$out/snap.png" &&
        mv "$out/snap.png" "$out/${line#SNAP }.png"
    fi
    printf '%s\n' "$line" | iconv -f CP932 -t UTF-8
  done
  status=${PIPESTATUS[0]}
  set -e
  for _ in $(seq 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$program_pid" 2>/dev/null; then
    echo "The program was left running"
    kill "$program_pid" 2>/dev/null || true
    status=1
  fi
  wait "$program_pid" 2>/dev/null || true
  ((status == 0)) || failed+=("$name")
}

start_program "$dist" Kestrel.exe
drive "Kestrel.exe without SMART devices" stopbox "$(winpath "$out")"

export KESTREL_SCENARIO
KESTREL_SCENARIO=$(winpath "$here/two_drives.scenario")
settings=$build/KestrelSim.ini
# Drive 0's reallocated sectors make the drives' status a warning.
report=$build/html/warning/report.html
log=$out/kestrel.log
rm -f "$settings" "$report"
printf 'earlier line\r\n' >"$log"
start_program "$build" KestrelSim.exe /l "$(winpath "$log")"
drive "KestrelSim.exe on two drives" main "$(winpath "$log")" "$(winpath "$report")" \
  "$(winpath "$settings")" "$(winpath "$out")"

start_program "$build" KestrelSim.exe
drive "KestrelSim.exe hidden at the start" hidden
# The settings go with the results, not to a later demonstration.
if [[ -f $settings ]]; then mv "$settings" "$out/"; fi

echo "Screenshots, log and settings in $out (${SECONDS} s)"
if ((${#failed[@]})); then
  printf 'FAILED: %s\n' "${failed[@]}"
  exit 1
fi
echo "All end-to-end runs passed"
