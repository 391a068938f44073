#!/usr/bin/env bash
# Installs what is missing, builds the program and runs its main job in ./work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVDL_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"
mkdir -p work/{airports/{learned,archive,my_thirdparty,my_simaddon},input,output/{info,errors},TBLO}
cp -r data/input/. work/input/
cd work && exec ../build/release/vandrel
