# Sourced by scripts that run Windows programs: an Xvfb display on a free
# number (stopped again when the script exits) and a Wine prefix inside the
# build folder, in the Japanese locale so that the ANSI code page is 932,
# with Japanese fonts for the dialogs.

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
  use_wine_prefix "$build_dir"
}

# The build folder's Wine prefix, made on first use, for the display that
# is already set.
use_wine_prefix() {
  export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
  export WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  configure_wine_prefix
}

# The dialogs' font "ＭＳ Ｐゴシック" and the system's Japanese interface
# fonts (menus, status bars) are Windows fonts: Debian's IPA fonts
# (fonts-ipafont-gothic) stand in for them, the proportional IPA P Gothic
# (ipagp.ttf) for the proportional ones; the monospaced IPA Gothic cuts the
# drive window's labels short. A prefix with another substitute is set
# again. HTML pages (the report, the help page) open in the desktop's
# browser through winebrowser.
configure_wine_prefix() {
  # system.reg keeps "ＭＳ Ｐゴシック" as UTF-16 escapes.
  if grep -qF '"\xff2d\xff33 \xff30\x30b4\x30b7\x30c3\x30af"="IPAPGothic"' \
       "$WINEPREFIX/system.reg" 2>/dev/null &&
     grep -q '^"MS Shell Dlg"="IPAPGothic"' "$WINEPREFIX/system.reg" &&
     grep -q '^\[Software\\\\Classes\\\\\.html\]' "$WINEPREFIX/system.reg"; then
    return 0
  fi
  local reg
  reg=$(mktemp --suffix=.reg)
  { printf '\xff\xfe'
    iconv -f UTF-8 -t UTF-16LE <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS UI Gothic"="IPAPGothic"
"MS Shell Dlg"="IPAPGothic"

[HKEY_LOCAL_MACHINE\Software\Classes\.html]
@="htmlfile"
EOF
  } >"$reg"
  wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || true
  rm -f "$reg"
}

stop_wine_display() {
  wineserver -k >/dev/null 2>&1 || true
  [[ -n "${KESTREL_XVFB_PID:-}" ]] && kill "$KESTREL_XVFB_PID" 2>/dev/null || true
}
