#!/usr/bin/env bash
# Runs ctest in a build folder with one slot of the resource "cores" per core to use: each test
# that computes takes a slot, the tests that wait on real time take none (cmake/vdl.cmake), so
# that these run beside the others instead of holding cores while they wait.
# Usage: bash scripts/ctest-cores.sh BUILD_DIR JOBS [CTEST ARGS...]
set -euo pipefail
build=$1 jobs=$2
shift 2
printf '{"version": {"major": 1, "minor": 0}, "local": [{"cores": [{"id": "0", "slots": %d}]}]}\n' "$jobs" \
  >"$build/cores.json"
cd "$build"
exec ctest --output-on-failure --resource-spec-file cores.json -j "$((jobs + 8))" "$@"
