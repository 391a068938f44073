#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its main job in ./work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVDL_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"
mkdir -p work/{airports/{learned,archive,my_thirdparty,my_simaddon},input,output/{info,errors},TBLO}
cp -r data/input/. work/input/
cp -r data/airports/. work/airports/

# The run's per-user folders live in ./work. A "RealTraffic" folder in the data folder tells
# the program that RealTraffic is installed on this PC; the stand-in (tools/rt_standin.cpp)
# plays its part: it connects to the program's link on port 10747 and sends traffic and
# weather on UDP 49005 and 49004. The simulator is the program's in-process stand-in, whose
# flight at EDDL ends after ten minutes; then the program writes its reports and quits.
export XDG_CONFIG_HOME="$PWD/work/user/config"
export XDG_DATA_HOME="$PWD/work/user/data"
mkdir -p "$XDG_DATA_HOME/RealTraffic"
cd work

# The simulator's Community folder: 120 aircraft.cfg files of 25 liveries of real airlines and
# types (fixed seed), found through UserCfg.opt as on a real PC; the start-up scans it into the
# livery catalogue. The simulator stand-in has all its titles installed.
rm -rf sim output/LiveriesScanned.xml
../build/release/make_community --files 120 --sections 25 --seed 2026 --out sim/Community \
    --titles output/installed_titles.txt
mkdir -p "$XDG_DATA_HOME/Microsoft Flight Simulator"
printf 'InstalledPackagesPath "%s"\n' "$PWD/sim" >"$XDG_DATA_HOME/Microsoft Flight Simulator/UserCfg.opt"
export VDL_SIM_TITLES="$PWD/output/installed_titles.txt"
rm -f output/tracks.json output/tracks.svg

../build/release/rt_standin --linger 2 2>rt_standin.log &
rt_pid=$!
trap 'kill "$rt_pid" 2>/dev/null || true' INT TERM
# Commands while it runs: set NAME VALUE | press NAME | quit | help
status=0
../build/release/vandrel || status=$?
wait "$rt_pid" || true
tail -n 1 rt_standin.log
echo "Log: work/Log.txt"

# The simulator's tracks of the run, drawn on a map of EDDL's runways, and the ground movement
# on a map of its own at a scale to read the stands and callsigns.
if [ -f output/tracks.json ]; then
    ../build/release/track_map output/tracks.json output/tracks.svg --radius 4 --stands airports/stock/EDDL.xml \
        --airport output/tracks-airport.svg || status=$?
    echo "Tracks: work/output/tracks.svg, the airport: work/output/tracks-airport.svg"
fi
exit "$status"
