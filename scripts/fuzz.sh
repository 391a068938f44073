#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (ASan + UBSan) in build/fuzz and runs each
# for SECONDS (default 20), two at a time, starting from the seeds in fuzz/corpus/<target>.
# Usage: bash scripts/fuzz.sh [SECONDS] [TARGET...]   (targets: the names before _fuzz)
# Fails when any target finds something; the input is kept in build/fuzz/findings/<target>/.
# VDL_FUZZ_OPT: the optimisation (default -O1; the test command, which runs each target for 10 s,
# builds at -O0, in half the time). VDL_FUZZ_BUILD_ONLY=1: build, run nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
parallel=${VDL_FUZZ_PARALLEL:-2}
jobs=$(nproc)
((jobs > 3)) && jobs=3

bash scripts/deps.sh fuzz
CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE= \
  -DCMAKE_CXX_FLAGS="${VDL_FUZZ_OPT:--O1} -gline-tables-only" -DVDL_FUZZ=ON -DVDL_TESTS=OFF >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzzers
[ "${VDL_FUZZ_BUILD_ONLY:-0}" = 1 ] && exit 0

targets=("$@")
if ((${#targets[@]} == 0)); then
  for f in fuzz/*_fuzz.cpp; do
    f=${f#fuzz/}
    targets+=("${f%_fuzz.cpp}")
  done
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Inputs up to a UDP datagram's size, unless fuzz/<target>.max_len gives a target's own cap (the
# size of its real inputs); no single allocation above 512 MiB (a size claimed by the input
# rather than needed); a run longer than 10 s is a hang. Absolute paths: the targets that
# read files step into a scratch folder while they run.
root=$PWD
run_target() {
  local t=$1 dir=$root/build/fuzz/runs/$1 findings=$root/build/fuzz/findings/$1
  local dict=()
  [[ -f fuzz/$t.dict ]] && dict=(-dict="$root/fuzz/$t.dict")
  local max_len=65536
  [[ -f fuzz/$t.max_len ]] && max_len=$(<"fuzz/$t.max_len")
  mkdir -p "$dir/corpus" "$findings"
  if "$root/build/fuzz/fuzz/${t}_fuzz" "$dir/corpus" "$root/fuzz/corpus/$t" "${dict[@]}" -max_total_time="$seconds" \
    -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -artifact_prefix="$findings/" \
    -print_final_stats=1 >"$dir/log" 2>&1; then
    echo "fuzz $t: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/log" | grep -o '[0-9]*$') runs, no finding"
  else
    echo "fuzz $t: FINDING (log $dir/log)"
    tail -n 60 "$dir/log"
    return 1
  fi
}

failed=0
running=0
for t in "${targets[@]}"; do
  if ((running >= parallel)); then
    wait -n || failed=$((failed + 1))
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=$((failed + 1))
  running=$((running - 1))
done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
((failed == 0))
