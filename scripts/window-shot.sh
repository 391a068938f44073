#!/usr/bin/env bash
# A screenshot of the Windows program's real main window: vandrel.exe, as scripts/build-windows.sh
# built it, runs under Wine on a virtual X screen (xvfb-run) in a working folder of its own, against
# its simulator stand-in and a generated Community folder, for VDL_SIM_SECONDS (default 30) of
# simulator time. Once the window is up and its counters have been filled, the screen is written to
# <folder>/window.png (ImageMagick); the program then ends by itself.
#
#   bash scripts/window-shot.sh [folder]      # default work/output
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh screen
build=$root/build/win64
for f in vandrel.exe standin/SimConnect.dll make_community.exe; do
  [ -f "$build/$f" ] || { echo "no $build/$f: run scripts/build-windows.sh first" >&2; exit 1; }
done
out=$(realpath -m "${1:-work/output}")
mkdir -p "$out"

shot=$build/window-shot
rm -rf "$shot"
mkdir -p "$shot"/{airports/{learned,archive,my_thirdparty,my_simaddon},input,output/{info,errors},TBLO}
# The program with the stand-in SimConnect.dll beside it, which hosts the simulator stand-in.
mkdir -p "$build/window-shot-program"
cp "$build/vandrel.exe" "$build/standin/SimConnect.dll" "$build/window-shot-program/"
cp -r data/input/. "$shot/input/"
cp -r data/airports/. "$shot/airports/" 2>/dev/null || true

# A prefix of its own with Wine's X11 display driver (the build's prefix has the null driver).
export WINEPREFIX=$build/wine-screen WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
export VDL_SIM_SECONDS=${VDL_SIM_SECONDS:-30} VDL_SIM_TITLES=output/installed_titles.txt
export shot out
xvfb-run -a -s "-screen 0 960x640x24" bash -c '
  set -euo pipefail
  wineserver -p
  trap "wineserver -k 2>/dev/null || true" EXIT
  wineboot >/dev/null 2>&1
  cd "$shot"
  wine ../make_community.exe --files 40 --sections 10 --seed 2026 --out sim/Community \
    --titles output/installed_titles.txt >make_community.log 2>&1
  roaming=$(wine cmd /c "echo %APPDATA%" 2>/dev/null | tr -d "\r")
  cfg=$(winepath -u "$roaming")/"Microsoft Flight Simulator"
  mkdir -p "$cfg"
  printf "InstalledPackagesPath \"%s\"\r\n" "$(winepath -w "$PWD/sim")" >"$cfg/UserCfg.opt"

  wine ../window-shot-program/vandrel.exe </dev/null >vandrel.out 2>&1 &
  program=$!
  # The window is up once its title names the simulator; the counters follow within a second.
  for _ in $(seq 240); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"Vandrel [0-9.]* for " && break
    sleep 0.25
  done
  sleep 3
  import -window root "$out/window.png"
  wait "$program"
'
echo "$out/window.png written"
