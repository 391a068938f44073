#!/usr/bin/env bash
# Runs one Windows test program under Wine: the Windows build's test runner (its CMake emulator).
#
# Now and then, on a loaded host, Wine ends a process within milliseconds of its start, before
# the program's first line runs, with a failure code and without a word (WINEDEBUG=-all keeps
# Wine's own error lines away). A test program that runs writes at least its test runner's
# header, so a failure with nothing on standard output is such a start: it is started once more,
# and says so. A program that wrote anything keeps its result, and so does a second silent
# failure.
#   wine-test.sh PROGRAM [ARGS...]
#   wine-test.sh --self-test       # the rule above, against a made-up wine
set -uo pipefail

lf_run() {
  local out rc attempt
  out=$(mktemp "${TMPDIR:-/tmp}/vdl-wine-test.XXXXXX")
  for attempt in 1 2; do
    wine "$@" | tee "$out"
    rc=${PIPESTATUS[0]}
    if ((rc == 0)) || [ -s "$out" ] || ((attempt == 2)); then
      break
    fi
    echo "wine-test: $1 ended with $rc before writing anything; starting it once more" >&2
  done
  rm -f "$out"
  return "$rc"
}

lf_self_test() {
  local dir fails=0 got
  dir=$(mktemp -d)
  # The made-up wine plays the program named by its first argument; it counts its starts.
  cat >"$dir/wine" <<'EOF'
#!/usr/bin/env bash
n=$(($(cat "$COUNT" 2>/dev/null || echo 0) + 1)); echo "$n" >"$COUNT"
case "$1:$n" in
  silent-once:1) exit 5 ;;
  silent-once:*) echo ran; exit 0 ;;
  silent:*) exit 5 ;;
  fails:*) echo "[  FAILED  ]"; exit 1 ;;
esac
EOF
  chmod +x "$dir/wine"
  check() {  # program, expected status, expected starts
    got=$(PATH="$dir:$PATH" COUNT="$dir/count.$1" bash "$0" "$1" 2>/dev/null >/dev/null; echo "$?:$(cat "$dir/count.$1")")
    [ "$got" = "$2:$3" ] || { echo "wine-test self-test: $1 gave status:starts $got, not $2:$3" >&2; fails=1; }
  }
  check silent-once 0 2  # a silent failure, then a run
  check silent 5 2       # silent twice: the failure stands
  check fails 1 1        # a failing test is never started again
  rm -rf "$dir"
  return "$fails"
}

if [ "${1:-}" = --self-test ]; then
  lf_self_test
else
  lf_run "$@"
fi
