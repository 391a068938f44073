#!/usr/bin/env bash
# Fails when a library includes a library of a higher floor. The floors, lowest first;
# libraries on one floor may include each other (CMake refuses cycles).
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A floor=([foundation]=1 [window]=2 [refdata]=3 [feed]=3 [simlink]=3 [simulator]=3
                  [airports]=4 [liveries]=5 [traffic]=6 [shell]=7)
bad=0
for dir in src/*/; do
  dir=${dir%/}; dir=${dir#src/}
  [ -n "${floor[$dir]:-}" ] || { echo "src/$dir: a folder with no floor"; bad=1; }
done
for lib in "${!floor[@]}"; do
  [ -d "src/$lib" ] || continue
  while IFS=: read -r file _ target; do
    used=${target%%/*}
    if [ -z "${floor[$used]:-}" ]; then
      echo "$file includes \"$target\": no library of that name"; bad=1
    elif [ "${floor[$used]}" -gt "${floor[$lib]}" ]; then
      echo "$file (floor ${floor[$lib]}) includes \"$target\" (floor ${floor[$used]})"; bad=1
    fi
  done < <(grep -HnoE '^#include "[a-z_]+/[^"]+"' src/"$lib"/*.h src/"$lib"/*.cpp 2>/dev/null |
           sed -E 's/#include "([^"]+)"/\1/')
done
[ "$bad" -eq 0 ] && echo "floors: every include points to its own floor or a lower one"
exit "$bad"
