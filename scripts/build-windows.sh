#!/usr/bin/env bash
# Cross-builds the program, its tools and its tests for Windows x64 with MinGW-w64, runs the
# tests under Wine and writes dist/vandrel-win64.zip (the program in its working folder, its data
# files, the licences of what it links).
#
# The libraries without a MinGW package (pugixml, libzip, curl, fmt, GoogleTest) are built once from
# Debian's own sources, at the versions this machine's Debian packages have, into a cache folder
# outside the clone (VDL_WIN_CACHE, default /var/cache/vandrel-win64) named by those versions: a
# machine that has built them reuses them.
#
#   bash scripts/build-windows.sh            # deps (once), build, tests under Wine, zip
#   VDL_WIN_TESTS=0 bash scripts/build-windows.sh   # without the tests
#   VDL_WIN_REPLAYS=1 bash scripts/build-windows.sh # with the long replays (label "replay") too
#   VDL_WIN_DEPS_ONLY=1 bash scripts/build-windows.sh # the packages and the dependencies alone
#
# The program and its libraries build optimised (Release at -O2: CMake's -O3 compiles a quarter
# slower for no gain a user would see); the test code at -O0 (VDL_TEST_CXX_FLAGS): it compiles a
# fifth faster, and the tests spend their time in the libraries.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${VDL_JOBS:-$(nproc)}

# --- packages -------------------------------------------------------------------------------
# The host's own dev packages name the versions of the sources built below.
bash scripts/deps.sh windows

# --- dependencies, once per set of versions -------------------------------------------------
srcver() { dpkg-query -W -f='${source:Version}' "$1"; }
v_gcc=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
v_pugixml=$(srcver libpugixml-dev)
v_libzip=$(srcver libzip-dev)
v_curl=$(srcver libcurl4-openssl-dev)
v_fmt=$(srcver libfmt-dev)
v_gtest=$(srcver googletest)
v_zlib=$(srcver libz-mingw-w64-dev)
key="gcc${v_gcc}_pugixml${v_pugixml}_libzip${v_libzip}_curl${v_curl}_fmt${v_fmt}_gtest${v_gtest}_zlib${v_zlib}"
key=${key//[^A-Za-z0-9._-]/_}
cache=${VDL_WIN_CACHE:-/var/cache/vandrel-win64}
deps=$cache/$key
toolchain=$root/cmake/mingw-w64-x86_64.cmake
curl_checks=curl${v_curl}_gcc${v_gcc}
curl_checks=$root/cmake/curl-checks/${curl_checks//[^A-Za-z0-9._-]/_}.cmake

# The results of curl's configure checks (HAVE_*, SIZEOF_*, the warning options it tried) from
# its CMake cache, as an initial cache that makes its configure skip them.
lf_curl_checks() {
  echo "# Results of curl's configure checks for this curl and MinGW-w64, written by"
  echo "# scripts/build-windows.sh from a configure that ran them; read with cmake -C."
  sed -nE 's/^((HAVE_|SIZEOF_|OPT|USE_WINCRYPT)[A-Za-z0-9_]*):INTERNAL=(.*)$/set(\1 "\3" CACHE INTERNAL "")/p' "$1"
}

build_deps() {
  local work=$cache/work.$$ prefix=$cache/$key.part
  rm -rf "$work" "$prefix"
  mkdir -p "$work" "$prefix/share/licenses"

  # A private apt configuration with the deb-src twins of this machine's own sources and its own
  # lists, so that the system's lists stay as they are.
  local apt=$cache/apt
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  rm -f "$apt"/sources.list.d/*
  : >"$apt/sources.list"
  [ -f /etc/apt/sources.list ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$apt/sources.list"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types:.*$/Types: deb-src/' "$f" >"$apt/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >"$apt/sources.list.d/$(basename "$f")"
  done
  local aptopts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
  apt-get "${aptopts[@]}" update -qq
  (cd "$work" &&
   for pv in "pugixml=$v_pugixml" "libzip=$v_libzip" "curl=$v_curl" "fmtlib=$v_fmt"; do
     apt-get "${aptopts[@]}" source --download-only -qq "$pv" 2>/dev/null ||
       apt-get "${aptopts[@]}" source --download-only -qq "${pv%%=*}"
   done
   for dsc in *.dsc; do dpkg-source --no-check -x "$dsc" >/dev/null; done)

  local cmake_common=(-G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVDL_WIN_DEPS="$prefix"
                      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF
                      )
  # The five are independent of each other: they build side by side, so that one's configure
  # (single-threaded, most of their time on few cores) runs beside another's compile.
  dep_pugixml() {
    local d
    d=$(echo "$work"/pugixml-*/)
    cmake -S "$d" -B "$work/b-pugixml" "${cmake_common[@]}" -DPUGIXML_BUILD_TESTS=OFF >/dev/null
    cmake --build "$work/b-pugixml" -j "$jobs" --target install >/dev/null
    cp "$d/LICENSE.md" "$prefix/share/licenses/pugixml.txt" 2>/dev/null || cp "$d/readme.txt" "$prefix/share/licenses/pugixml.txt"
  }
  dep_libzip() {
    local d
    d=$(echo "$work"/libzip-*/)
    cmake -S "$d" -B "$work/b-libzip" "${cmake_common[@]}" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
      -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
      -DENABLE_WINDOWS_CRYPTO=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >/dev/null
    cmake --build "$work/b-libzip" -j "$jobs" --target install >/dev/null
    cp "$d/LICENSE" "$prefix/share/licenses/libzip.txt"
  }
  # HTTP(S) only, with Windows' own TLS (Schannel). Its configure runs about 130 checks of the
  # compiler and the Windows headers, each a small cross-build: about 100 s of CPU, a third of
  # the dependencies. Their results for these versions of curl and MinGW are in the project
  # (cmake/curl-checks/), read before the configure, which then skips them (same curl_config.h);
  # for other versions the configure runs them and the results are written beside the cache,
  # to be added to the project.
  dep_curl() {
    local d checks=()
    d=$(echo "$work"/curl-*/)
    [ -f "$curl_checks" ] && checks=(-C "$curl_checks")
    cmake "${checks[@]}" -S "$d" -B "$work/b-curl" "${cmake_common[@]}" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF \
      -DHTTP_ONLY=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DCURL_USE_LIBSSH2=OFF \
      -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DCURL_DISABLE_LDAP=ON \
      -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none >/dev/null
    ((${#checks[@]} > 0)) || lf_curl_checks "$work/b-curl/CMakeCache.txt" >"$cache/$(basename "$curl_checks")"
    cmake --build "$work/b-curl" -j "$jobs" --target install >/dev/null
    cp "$d/COPYING" "$prefix/share/licenses/curl.txt"
  }
  # A compiled fmt: header-only, its implementation would be compiled again in every source file
  # that formats (about 2.5 s each).
  dep_fmt() {
    local d
    d=$(echo "$work"/fmtlib-*/)
    cmake -S "$d" -B "$work/b-fmt" "${cmake_common[@]}" -DFMT_TEST=OFF -DFMT_DOC=OFF -DFMT_INSTALL=ON >/dev/null
    cmake --build "$work/b-fmt" -j "$jobs" --target install >/dev/null
    cp "$d/LICENSE.rst" "$prefix/share/licenses/fmt.txt"
  }
  dep_gtest() {
    cmake -S /usr/src/googletest -B "$work/b-gtest" "${cmake_common[@]}" -DBUILD_GMOCK=ON >/dev/null
    cmake --build "$work/b-gtest" -j "$jobs" --target install >/dev/null
  }
  local dep pids=() failed=0
  for dep in pugixml libzip curl fmt gtest; do
    "dep_$dep" &
    pids+=($!)
  done
  for dep in "${pids[@]}"; do wait "$dep" || failed=1; done
  ((failed == 0))

  # nlohmann json, header-only, as Debian installs it, behind the package name the build asks for.
  mkdir -p "$prefix/include" "$prefix/lib/cmake/nlohmann_json"
  ln -sfn /usr/include/nlohmann "$prefix/include/nlohmann"
  cat >"$prefix/lib/cmake/nlohmann_json/nlohmann_json-config.cmake" <<EOF
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "\${CMAKE_CURRENT_LIST_DIR}/../../../include")
EOF
  cp /usr/share/doc/nlohmann-json3-dev/copyright "$prefix/share/licenses/nlohmann-json.txt"
  cp /usr/share/doc/libz-mingw-w64/copyright "$prefix/share/licenses/zlib.txt"
  cp /usr/share/doc/mingw-w64-common/copyright "$prefix/share/licenses/mingw-w64-runtime.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$prefix/share/licenses/gcc-runtime.txt"

  rm -rf "$work"
  mv "$prefix" "$deps"
}

if [ ! -d "$deps" ]; then
  mkdir -p "$cache"
  # Checkouts on one machine share the cache: one builds, the others wait for it.
  exec 9>"$cache/lock"
  flock 9
  if [ ! -d "$deps" ]; then
    echo "building the Windows dependencies into $deps"
    t0=$(date +%s)
    set +e
    (set -e; build_deps) >"$cache/build.log" 2>&1
    rc=$?
    set -e
    if [ "$rc" -ne 0 ]; then
      tail -40 "$cache/build.log"
      echo "building the Windows dependencies failed: $cache/build.log" >&2
      exit "$rc"
    fi
    echo "dependencies built in $(( $(date +%s) - t0 )) s"
    [ -f "$curl_checks" ] ||
      echo "curl's configure checks are in $cache/$(basename "$curl_checks"): add the file to cmake/curl-checks/"
  fi
  exec 9>&-
fi
[ "${VDL_WIN_DEPS_ONLY:-0}" = 1 ] && exit 0

# --- the program, its tools and its tests ---------------------------------------------------
build=build/win64
# A Wine prefix of the build's own, made once (about 5 s); headless. The build lists the tests of
# each test binary by running it.
export WINEPREFIX=$root/$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
mkdir -p "$WINEPREFIX"
# One Wine server with its services for the whole build and test run, started here with its
# output away from the test runner: services started by a test would hold that test's output
# open, and the runner would wait for them.
wineserver -p 2>/dev/null || true  # may be running already (an earlier run left it)
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot >/dev/null 2>&1
# No screen here: Wine's null display driver still makes windows, for the window's tests.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
t0=$SECONDS
# zlib comes in through the dependencies' CMake packages, and FindZLIB prefers MinGW's import
# library (zlib1.dll, which Windows does not have): name the static one, over any cached choice.
zlib_static=/usr/x86_64-w64-mingw32/lib/libz.a
[ -f "$zlib_static" ] || { echo "windows: $zlib_static is missing (package libz-mingw-w64-dev)" >&2; exit 1; }
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DVDL_WIN_DEPS="$deps" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DVDL_TEST_CXX_FLAGS="-O0 -g0" \
  -DZLIB_LIBRARY_RELEASE="$zlib_static" -DZLIB_USE_STATIC_LIBS=ON >/dev/null
cmake --build "$build" -j "$jobs"
echo "windows: built in $((SECONDS - t0)) s"

if [ "${VDL_WIN_TESTS:-1}" != 0 ]; then
  # The long replays are computation alone, run by the Linux build; Wine runs what touches the
  # platform and every other test (README, "The Windows build").
  # The runner that starts a program again when Wine ended it before its first line.
  bash scripts/wine-test.sh --self-test
  skip=(-LE replay)
  [ "${VDL_WIN_REPLAYS:-0}" != 0 ] && skip=()
  t0=$SECONDS
  status=0
  # On a loaded host Wine now and then fails a test for its own sake (a process ended before its
  # first line, threads started seconds late): a failing test runs once more, and every test that
  # needed it is named below; one that fails twice fails the stage.
  bash scripts/ctest-cores.sh "$build" "$jobs" --no-tests=error --repeat until-pass:2 "${skip[@]}" 2>&1 |
    tee "$build/wine-tests.log" || status=$?
  reruns=$(sed -nE 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*\*\*\*(Failed|Timeout|Exception).*/\1/p' "$build/wine-tests.log" | sort -u | tr '\n' ' ')
  [ -z "$reruns" ] || echo "windows: failed once under Wine, then ran again: $reruns"
  if [ "$status" -ne 0 ]; then
    echo "windows: tests under Wine FAILED" >&2
    exit "$status"
  fi
  echo "windows: tests under Wine passed in $((SECONDS - t0)) s"
fi

# --- the zip ----------------------------------------------------------------------------------
stage=$build/dist/vandrel
rm -rf "$stage" && mkdir -p "$stage/licenses" dist
cp "$build/vandrel.exe" "$stage/"
cp -r data/input "$stage/input"
# The working folder the program checks for and writes into, as scripts/run.sh makes it.
mkdir -p "$stage"/{airports/{learned,archive,my_thirdparty,my_simaddon},output/{info,errors},TBLO}
cp "$deps"/share/licenses/* "$stage/licenses/"
# What a Windows user reads first, and the data's attributions beside the libraries' licences;
# with Windows line ends.
sed 's/$/\r/' docs/windows-zip/README.txt >"$stage/README.txt"
sed 's/$/\r/' docs/windows-zip/data-attributions.txt >"$stage/licenses/data-attributions.txt"
rm -f dist/vandrel-win64.zip
(cd "$build/dist" && zip -qr "$root/dist/vandrel-win64.zip" vandrel)
echo "dist/vandrel-win64.zip written"
# Windows has no zlib1.dll or MinGW runtime DLLs: the zip's programs may import system DLLs only.
bash scripts/check-windows-imports.sh --self-test dist/vandrel-win64.zip
