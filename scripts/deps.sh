#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and those named as arguments, only
# when some are missing. A group name stands for the packages of one later stage:
#   fuzz (clang), windows (MinGW-w64, Wine), screen (a virtual X screen and ImageMagick).
set -euo pipefail
pkgs=(build-essential cmake pkg-config libpugixml-dev nlohmann-json3-dev libcurl4-openssl-dev
      libzip-dev libfmt-dev googletest libgtest-dev libgmock-dev libbenchmark-dev python3 zip
      ccache)
for a in "$@"; do
  case $a in
    fuzz) pkgs+=(clang-14 libclang-rt-14-dev) ;;
    windows) pkgs+=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine wine64 dpkg-dev) ;;
    screen) pkgs+=(xvfb xauth imagemagick x11-utils wine wine64) ;;
    *) pkgs+=("$a") ;;
  esac
done
lf_missing() {
  missing=()
  for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
}
lf_missing
((${#missing[@]})) || exit 0
# One install at a time: the test command fetches later stages' packages in the background while
# its first stage builds; a second call waits here and then installs only what is still missing.
exec 8>"${TMPDIR:-/tmp}/vandrel-deps.lock"
flock 8
lf_missing
((${#missing[@]})) || exit 0
echo "installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
# Any other apt on the machine may hold dpkg's lock for a while: wait for it rather than fail.
lock=(-o DPkg::Lock::Timeout=1200)
$SUDO apt-get "${lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${lock[@]}" install -y -qq "${missing[@]}" >/dev/null
