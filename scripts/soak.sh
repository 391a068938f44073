#!/usr/bin/env bash
# A soak: builds the program (Release), prepares ./soak as scripts/run.sh prepares ./work, runs
# Vandrel with the simulator's flight lasting MINUTES against the RealTraffic stand-in's
# synthetic sky (300 aircraft coming and going around EDDL), samples its resident memory from
# /proc and checks at the end: every object it created in the simulator was removed, no call
# went to an unknown or removed object, and its memory did not grow after it settled beyond
# 10 % (after 5 min; runs under 10 min: after 30 s, 10 % or 4 MB, the larger). Exits 1 on a
# failed check.
#
#   scripts/soak.sh [MINUTES]    (default 60)
# Environment: SOAK_DIR (./soak), SOAK_BUILD (build/soak), SOAK_AIRCRAFT (300), SOAK_SEED (1),
# SOAK_JOBS (3), SOAK_PORT_WAIT (s to wait for busy ports, 900).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
minutes="${1:-60}"
[[ "$minutes" =~ ^[0-9]+$ ]] && ((minutes > 0)) || { echo "usage: scripts/soak.sh [MINUTES]" >&2; exit 2; }
dir="$root/${SOAK_DIR:-soak}"
build="$root/${SOAK_BUILD:-build/soak}"
aircraft="${SOAK_AIRCRAFT:-300}"
seed="${SOAK_SEED:-1}"
# Short runs allow a few MB: the sky is still filling after 30 s.
if ((minutes >= 10)); then settle=300; slack=0; interval=5; else settle=30; slack=4; interval=2; fi

bash scripts/deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVDL_TESTS=OFF >/dev/null
cmake --build "$build" -j "${SOAK_JOBS:-3}" --target vandrel rt_standin make_community soak_check

# Only one program and stand-in pair can use the fixed ports at a time: wait for them.
lf_busyPort() {
    if [ -n "$(ss -Hltn 'sport = :10747' 2>/dev/null)" ]; then echo "10747 (TCP)"; return; fi
    local p
    for p in 49004 49005; do
        if [ -n "$(ss -Hlun "sport = :$p" 2>/dev/null)" ]; then echo "$p (UDP)"; return; fi
    done
}
waited=0
while busy=$(lf_busyPort) && [ -n "$busy" ]; do
    if ((waited >= ${SOAK_PORT_WAIT:-900})); then
        echo "soak: port $busy is still busy after ${waited} s: another program and stand-in run here" >&2
        exit 1
    fi
    ((waited % 30 == 0)) && echo "soak: port $busy is busy (another program and stand-in?): waiting"
    sleep 5
    waited=$((waited + 5))
done

rm -rf "$dir"
mkdir -p "$dir"/{airports/{learned,archive,my_thirdparty,my_simaddon},input,output/{info,errors},TBLO}
cp -r data/input/. "$dir/input/"
export XDG_CONFIG_HOME="$dir/user/config"
export XDG_DATA_HOME="$dir/user/data"
mkdir -p "$XDG_DATA_HOME/RealTraffic"
cd "$dir"
# The liveries come from the start-up's scan of a generated Community folder (3000 liveries).
"$build/make_community" --files 120 --sections 25 --seed 2026 --out "$dir/sim/Community" \
    --titles output/installed_titles.txt >/dev/null
mkdir -p "$XDG_DATA_HOME/Microsoft Flight Simulator"
printf 'InstalledPackagesPath "%s"\n' "$dir/sim" >"$XDG_DATA_HOME/Microsoft Flight Simulator/UserCfg.opt"
export VDL_SIM_TITLES="$dir/output/installed_titles.txt"
export VDL_SIM_SECONDS=$((minutes * 60))
# One point a second per object: the checks read objects, events, removals and stray calls, and
# every frame's point would make the hour's track file some 3 GB.
export VDL_SIM_TRACK_SECONDS=1

echo "soak: $minutes min, $aircraft aircraft (seed $seed) in $dir"
"$build/rt_standin" --sky "$aircraft" --minutes $((minutes + 5)) --seed "$seed" --linger 2 \
    2>rt_standin.log &
rt_pid=$!
"$build/vandrel" </dev/null >view.txt 2>vandrel.err &
pid=$!
trap 'kill "$pid" "$rt_pid" 2>/dev/null || true' INT TERM

# Resident memory from /proc every few seconds: "seconds kB".
started=$SECONDS
deadline=$((minutes * 60 + 180))
: >rss.txt
while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && echo "$((SECONDS - started)) $rss" >>rss.txt
    if ((SECONDS - started > deadline)); then
        echo "soak: the program did not end within $deadline s: asking it to quit" >&2
        kill -TERM "$pid" 2>/dev/null || true
    fi
    sleep "$interval"
done
status=0
wait "$pid" || status=$?
rt_status=0
wait "$rt_pid" || rt_status=$?
echo "soak: the program ran $((SECONDS - started)) s and ended with $status"
tail -n 1 rt_standin.log
[ -s vandrel.err ] && { echo "soak: the program's error output:"; tail -n 5 vandrel.err; }
ls -l output/tracks.json | awk '{printf "soak: track file %.0f MB\n", $5 / 1048576}'

check=0
"$build/soak_check" --tracks output/tracks.json --rss rss.txt --settle "$settle" --slack-mb "$slack" || check=$?
((status == 0)) || { echo "soak: FAIL the program's exit code is $status"; check=1; }
((rt_status == 0)) || { echo "soak: FAIL the RealTraffic stand-in ended with $rt_status"; check=1; }
exit "$check"
