# Sourced by scripts that run Windows programs: an Xvfb display on a free
# number (stopped again when the script exits) and a Wine prefix inside the
# build folder, in the Japanese locale so that the ANSI code page is 932.

start_wine_display() {
  local build_dir="$1"
  local n=90
  while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  KESTREL_XVFB_PID=$!
  trap 'stop_wine_display' EXIT
  for _ in $(seq 100); do
    [[ -e /tmp/.X11-unix/X$n ]] && break
    sleep 0.1
  done
  export DISPLAY=":$n"
  export WINEPREFIX="$(cd "$build_dir" && pwd)/wineprefix"
  export WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

stop_wine_display() {
  wineserver -k >/dev/null 2>&1 || true
  [[ -n "${KESTREL_XVFB_PID:-}" ]] && kill "$KESTREL_XVFB_PID" 2>/dev/null || true
}
