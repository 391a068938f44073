#!/usr/bin/env bash
# Installs what is missing, builds and runs every test under AddressSanitizer and
# UndefinedBehaviorSanitizer (the ThreadSanitizer build beside its tests), then the threaded tests
# under ThreadSanitizer, then the Windows build with its tests under Wine, and last the programs
# that run on real time (the Windows main job as a two-minute soak, the window's picture) beside
# every parser of outside input briefly under libFuzzer. Each stage prints its wall-clock and CPU
# seconds: the whole command must stay under 30 minutes on 2 cores.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/check_floors.sh
# The libraries compile in batches: no file-local function or macro may reach another file.
python3 scripts/check_batches.py --self-test
jobs=$(nproc)
# Line tables are enough for sanitizer reports and build much faster than full debug info.
flags="-O0 -g1"
# The ASan build compiles the libraries at -Og and the test code at -O0: the long replays spend
# their time in the libraries and run six times faster than at -O0, for about the same compile;
# -O1 runs them in 70 % of the time of -Og, but with UBSan it compiles three times as long.
asan_flags=(-DCMAKE_CXX_FLAGS="-Og -g1" -DVDL_TEST_CXX_FLAGS="-O0")

# A compiler cache outside the clone, for every build below, when ccache is there (deps.sh
# installs it). Paths under the clone are hashed relative to it, so that another clone hits too;
# the sloppiness lets it cache files compiled with the precompiled headers.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CMAKE_C_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

# The later stages' packages, the Windows libraries (built from Debian's sources once per
# machine) and the fuzz targets are fetched and built in the background while the first stages
# compile and run their tests, at the lowest priority, so that they take only what the tests leave
# of the cores. The Windows stage waits for its packages and libraries alone (deps.sh and
# build-windows.sh take locks), the fuzz targets' runs for the whole; on a machine that has them
# the first two are over at once. The fuzz targets build at -O0: half the compile of -O1, and their
# runs here are brief.
fuzz_opt=-O0
mkdir -p build
nice -n 19 bash -c 'bash scripts/deps.sh fuzz windows screen &&
  VDL_WIN_DEPS_ONLY=1 VDL_JOBS="$0" bash scripts/build-windows.sh &&
  VDL_FUZZ_OPT="$1" VDL_FUZZ_BUILD_ONLY=1 bash scripts/fuzz.sh' "$jobs" "$fuzz_opt" >build/background.log 2>&1 &
background=$!
tsan_build=""
lf_background() {
  local rc=0 t0=$SECONDS c0
  lf_cpu
  c0=$cpu
  wait "$background" || rc=$?
  background=""
  lf_cpu
  echo "background: packages, Windows libraries and fuzz targets ready after $((SECONDS - t0)) s more wall, $((cpu - c0)) s CPU in all"
  ((rc == 0)) || { tail -30 build/background.log; echo "the background's packages, Windows libraries or fuzz targets failed" >&2; }
  return "$rc"
}
# An early failure ends the command, but never in the middle of a package install; a TSan build
# still running is ended.
trap '[ -z "$tsan_build" ] || kill "$tsan_build" 2>/dev/null || true
  [ -z "$background" ] || wait "$background" 2>/dev/null || true' EXIT

# The children's CPU seconds so far (user + system) into cpu, from the shell's own count: times
# runs in this shell (in a subshell it would count that subshell's children only).
lf_cpu() {
  times >build/times.txt
  cpu=$(awk 'NR == 2 { split($1, u, /[ms]/); split($2, s, /[ms]/); printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' build/times.txt)
}
lf_stage() {
  local name=$1 t0=$SECONDS c0
  shift
  lf_cpu
  c0=$cpu
  "$@"
  lf_cpu
  echo "stage $name: $((SECONDS - t0)) s wall, $((cpu - c0)) s CPU"
}

# The ASan tests leave cores idle while the tests that wait on real time run: the TSan build runs
# beside them, at a lower priority than the tests.
lf_asan() {
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE= "${asan_flags[@]}" -DVDL_SANITIZE=ON >/dev/null
  cmake --build build/asan -j "$jobs"
  cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE= -DCMAKE_CXX_FLAGS="$flags" -DVDL_TSAN=ON >/dev/null
  nice -n 10 cmake --build build/tsan -j "$jobs" --target threaded_tests >build/tsan-build.log 2>&1 &
  tsan_build=$!
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    bash scripts/ctest-cores.sh build/asan "$jobs"
}

lf_tsan() {
  local rc=0
  wait "$tsan_build" || rc=$?
  tsan_build=""
  ((rc == 0)) || { tail -40 build/tsan-build.log; echo "the TSan build failed" >&2; return "$rc"; }
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 bash scripts/ctest-cores.sh build/tsan "$jobs" -L threads
}

lf_stage asan lf_asan
lf_stage tsan lf_tsan

# The Windows x64 cross-build and its tests under Wine, but for the long replays that the
# sanitizer builds ran above (scripts/build-windows.sh; README, "The Windows build"). The tests run
# alone: some measure the link under load, which Wine's server makes slow on a busy host.
lf_stage windows env VDL_JOBS="$jobs" bash scripts/build-windows.sh

# The programs that run on real time, one after the other, for they listen on RealTraffic's fixed
# ports: the Windows program as a user starts it, under Wine, with the stand-in SimConnect.dll
# beside it and its window on Wine's null display, for two minutes against the RealTraffic
# stand-in's synthetic sky of 300 aircraft, ending by itself, with the soak's checks (every object
# removed, no call on a removed object, memory steady; scripts/main-job-windows.sh); and the real
# window on a virtual screen, its picture written to build/win64/output/window.png. They mostly
# wait, so beside them the fuzz targets run 5 s each, two at a time, at a lower priority, so that
# the programs keep their pace; any finding fails.
lf_real_time() {
  env VDL_WIN_SKY=300 VDL_WIN_SIM_SECONDS=120 bash scripts/main-job-windows.sh
  env VDL_SIM_SECONDS=20 bash scripts/window-shot.sh build/win64/output
}
lf_real_time_and_fuzz() {
  local programs rc=0
  lf_real_time >build/real-time.log 2>&1 &
  programs=$!
  lf_background || rc=$?
  if ((rc == 0)); then
    VDL_FUZZ_OPT=$fuzz_opt nice -n 10 bash scripts/fuzz.sh 5 || rc=$?
  fi
  wait "$programs" || rc=$?
  cat build/real-time.log
  return "$rc"
}
lf_stage real-time-and-fuzz lf_real_time_and_fuzz
