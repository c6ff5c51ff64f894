#!/usr/bin/env bash
# Installs what the builds need and is missing, with apt-get.
#   install-deps.sh demo      the Linux build (kestrel-cli and the engine, the
#                             HTML folder's images: ImageMagick, IPA Gothic)
#   install-deps.sh win-demo  also the Windows cross build (with Pillow and
#                             the DejaVu fonts for its icons and bitmaps),
#                             Wine and the Japanese locale it runs in
#   install-deps.sh host      demo, and the emulated-disk test (QEMU,
#                             Debian's kernel, busybox and smartmontools for
#                             its guest), and the Debian package's test
#                             (dpkg-dev, groff, systemd-analyze)
#   install-deps.sh all       everything the tests use: host and win-demo,
#                             Xvfb for the Windows tests, the static checks,
#                             clang for the sanitizers and fuzzing, Chromium
#                             for the report pages' test, Prometheus for
#                             the metrics tests
set -euo pipefail

what="${1:-all}"
demo=(cmake ninja-build g++ python3 libmd-dev googletest libgtest-dev libbenchmark-dev
      imagemagick fonts-ipafont-gothic)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 python3-pil fonts-dejavu-core
         wine wine64 locales)
emulated=(qemu-system-x86 linux-image-amd64 busybox-static smartmontools cpio kmod)
package=(dpkg-dev groff-base systemd)
checks=(clang libclang-rt-14-dev clang-tidy clang-format cppcheck xvfb xauth chromium
        prometheus)
case "$what" in
  demo) packages=("${demo[@]}") ;;
  win-demo) packages=("${demo[@]}" "${windows[@]}") ;;
  host) packages=("${demo[@]}" "${emulated[@]}" "${package[@]}") ;;
  all) packages=("${demo[@]}" "${emulated[@]}" "${package[@]}" "${windows[@]}" "${checks[@]}") ;;
  *) echo "usage: install-deps.sh demo|win-demo|host|all" >&2; exit 2 ;;
esac

# apt-get and locale-gen need root; elsewhere go through sudo.
as_root=()
[[ $(id -u) -eq 0 ]] || as_root=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${as_root[@]}" apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# Wine runs the Windows programs with code page 932 only in a Japanese
# locale.
if [[ "$what" == all || "$what" == win-demo ]] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ja_JP.UTF-8 UTF-8' | "${as_root[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${as_root[@]}" locale-gen
fi
