#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and those named as arguments, only
# when some are missing.
set -euo pipefail
pkgs=(build-essential cmake pkg-config libpugixml-dev nlohmann-json3-dev libcurl4-openssl-dev
      libzip-dev libfmt-dev googletest libgtest-dev libgmock-dev libbenchmark-dev python3 zip
      clang-14 libclang-rt-14-dev ccache "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
