#!/usr/bin/env bash
# The main job as the Windows program runs it, under Wine: vandrel.exe with the stand-in
# SimConnect.dll beside it (the DLL hosts the simulator stand-in's EDDL scenario) and the
# RealTraffic stand-in rt_standin.exe, shortened to VDL_WIN_SIM_SECONDS of simulator time
# (default 120). The program ends by itself when the simulator closes; the step checks that it
# loaded the DLL, created aircraft, wrote its reports and the simulator's tracks, and ended with 0,
# and the soak's checks (soak_check): every object it created was removed, no call went to an
# unknown or removed object, its resident memory (sampled from /proc) did not grow after 30 s
# beyond 10 % or 4 MB.
# With VDL_WIN_SKY=N the RealTraffic stand-in serves a synthetic sky of N aircraft around EDDL
# (seed 1) instead of the scenario's traffic: the soak of the test command.
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
sky=${VDL_WIN_SKY:-0}
[[ "$sky" =~ ^[0-9]+$ ]] || { echo "main-job-windows: VDL_WIN_SKY is a number of aircraft" >&2; exit 2; }
for f in vandrel.exe rt_standin.exe make_community.exe soak_check.exe standin/SimConnect.dll; do
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

rt_args=(--linger 2)
if ((sky > 0)); then
  rt_args+=(--sky "$sky" --minutes $((seconds / 60 + 5)) --seed 1)
  # One point a second per object is what the checks read; every frame's point of a full sky
  # would make a track file of hundreds of MB.
  export VDL_SIM_TRACK_SECONDS=1
  echo "main-job-windows: a sky of $sky aircraft for $seconds s"
fi
wine "$build/rt_standin.exe" "${rt_args[@]}" 2>rt_standin.log &
rt_pid=$!
started=$SECONDS
wine ../program/vandrel.exe </dev/null >view.txt 2>vandrel.err &
pid=$!
trap 'kill "$pid" "$rt_pid" 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
# Resident memory every 2 s ("seconds kB"). A run that does not end is ended: the simulator's time
# plus the start-up's scan and the reports, with room to spare.
: >rss.txt
while kill -0 "$pid" 2>/dev/null; do
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
  [ -n "$rss" ] && echo "$((SECONDS - started)) $rss" >>rss.txt
  if ((SECONDS - started > seconds * 2 + 300)); then
    echo "main-job-windows: the program did not end within $((seconds * 2 + 300)) s" >&2
    kill -KILL "$pid" 2>/dev/null || true
  fi
  sleep 2
done
status=0
wait "$pid" || status=$?
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
if [ -s output/tracks.json ]; then
  wine "$build/soak_check.exe" --tracks output/tracks.json --rss rss.txt --settle 30 --slack-mb 4 |
    tr -d '\r' || fail "the soak's checks"
fi
[ -s vandrel.err ] && { echo "main-job-windows: the program's error output:"; tail -n 5 vandrel.err; }
exit "$check"
