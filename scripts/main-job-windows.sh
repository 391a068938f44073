#!/usr/bin/env bash
# The main job as the Windows program runs it, under Wine: vandrel.exe with the stand-in
# SimConnect.dll beside it (the DLL hosts the simulator stand-in's EDDL scenario) and the
# RealTraffic stand-in rt_standin.exe, shortened to VDL_WIN_SIM_SECONDS of simulator time
# (default 120). The program ends by itself when the simulator closes; the step checks that it
# loaded the DLL, created aircraft, wrote its reports and the simulator's tracks, and ended with 0.
#
# Needs the Windows build (scripts/build-windows.sh; VDL_WIN_TESTS=0 for the build alone). It
# uses the fixed ports of the RealTraffic link: run it where no other checkout runs its own at
# the same time.
#   bash scripts/main-job-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/${VDL_WIN_BUILD:-build/win64}
seconds=${VDL_WIN_SIM_SECONDS:-120}
for f in vandrel.exe rt_standin.exe make_community.exe standin/SimConnect.dll; do
  [ -f "$build/$f" ] || { echo "main-job-windows: $build/$f is missing: build the Windows side first" >&2; exit 2; }
done

export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mkdir -p "$WINEPREFIX"
wineserver -p 2>/dev/null || true  # one server for the whole run; may be running already
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot >/dev/null 2>&1
winenv() { wine cmd /c "echo %$1%" 2>/dev/null | tr -d '\r'; }

# The program in its own folder with the DLL beside it, as a user unpacks it; the working folder
# as scripts/run.sh makes it.
job=$build/main-job
rm -rf "$job"
mkdir -p "$job/program" "$job/work"
cp "$build/vandrel.exe" "$build/standin/SimConnect.dll" "$job/program/"
cd "$job/work"
mkdir -p airports/{learned,archive,my_thirdparty,my_simaddon} input output/{info,errors} TBLO
cp -r "$root"/data/input/. input/
cp -r "$root"/data/airports/. airports/

# The per-user folders are the Wine prefix's: a fresh program folder, RealTraffic "installed"
# and the simulator's UserCfg.opt naming a generated Community folder.
roaming=$(winepath -u "$(winenv APPDATA)")
local=$(winepath -u "$(winenv LOCALAPPDATA)")
rm -rf "$roaming/Vandrel" "$local/Vandrel"
mkdir -p "$local/RealTraffic" "$local/Microsoft Flight Simulator"
wine "$build/make_community.exe" --files 120 --sections 25 --seed 2026 --out sim/Community \
  --titles output/installed_titles.txt >/dev/null
printf 'InstalledPackagesPath "%s"\r\n' "$(winepath -w "$PWD/sim")" >"$local/Microsoft Flight Simulator/UserCfg.opt"
# Read by the stand-in DLL when the program first opens it.
export VDL_SIM_TITLES VDL_SIM_SECONDS=$seconds
VDL_SIM_TITLES=$(winepath -w "$PWD/output/installed_titles.txt")

wine "$build/rt_standin.exe" --linger 2 2>rt_standin.log &
rt_pid=$!
started=$SECONDS
status=0
# A run that does not end is ended: the simulator's time plus the start-up's scan and the
# reports, with room to spare.
timeout $((seconds * 2 + 300)) wine ../program/vandrel.exe </dev/null >view.txt 2>vandrel.err || status=$?
rt_status=0
wait "$rt_pid" || rt_status=$?
echo "main-job-windows: the program ran $((SECONDS - started)) s and ended with $status"

check=0
fail() { echo "main-job-windows: FAIL $*"; check=1; }
((status == 0)) || fail "the program's exit code is $status"
((rt_status == 0)) || fail "the RealTraffic stand-in ended with $rt_status"
grep -q "SimConnect: SimConnect.dll loaded from" Log.txt || fail "the program did not load SimConnect.dll"
grep -q "SimConnect open: Simulator stand-in" Log.txt || fail "the program did not connect through the DLL"
[ -s output/tracks.json ] || fail "the simulator wrote no tracks"
grep -q '^\["end",' output/tracks.json || fail "the simulator's track file is not finished"
# The user's aircraft and the created ones.
objects=$(grep -c '^\["object",' output/tracks.json || true)
echo "main-job-windows: $objects objects in the simulator's tracks"
((objects > 1)) || fail "no aircraft were created"
[ -s vandrel.err ] && { echo "main-job-windows: the program's error output:"; tail -n 5 vandrel.err; }
exit "$check"
