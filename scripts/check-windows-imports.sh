#!/usr/bin/env bash
# Fails when a program in the Windows zip imports a DLL that Windows itself does not ship: the
# zip carries no DLLs, so such a program would not start on a user's PC (under Wine it would,
# because Wine brings builtin copies of many DLLs). SimConnect.dll is loaded at run time and is
# not in the import table.
#
#   bash scripts/check-windows-imports.sh dist/vandrel-win64.zip   # or .exe files, or folders
set -euo pipefail

# DLLs every supported Windows (10 and 11, x64) has in its system folder; lower case.
allowed=(
  advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll dwmapi.dll gdi32.dll
  iphlpapi.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll oleaut32.dll secur32.dll
  shell32.dll shlwapi.dll user32.dll userenv.dll uxtheme.dll version.dll winmm.dll
  ws2_32.dll wldap32.dll normaliz.dll
)

objdump=${VDL_OBJDUMP:-x86_64-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "check-windows-imports: $objdump not found" >&2; exit 2; }
[ "$#" -gt 0 ] || { echo "usage: $0 [--self-test] ZIP|EXE|FOLDER..." >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The check itself, on two real programs: one linked against zlib's import library (it needs
# zlib1.dll) must be refused, the same linked statically must pass.
if [ "$1" = --self-test ]; then
  shift
  cc=${VDL_MINGW_CC:-x86_64-w64-mingw32-gcc-posix}
  printf '#include <zlib.h>\nint main(void) { return zlibVersion()[0] == 0; }\n' >"$scratch/z.c"
  "$cc" -o "$scratch/dynamic.exe" "$scratch/z.c" -lz
  "$cc" -static -o "$scratch/static.exe" "$scratch/z.c" /usr/x86_64-w64-mingw32/lib/libz.a
  if out=$(bash "$0" "$scratch/dynamic.exe" 2>&1) || [[ "$out" != *zlib1.dll* ]]; then
    echo "check-windows-imports: the self-test's program with zlib1.dll was not refused: $out" >&2
    exit 1
  fi
  bash "$0" "$scratch/static.exe" >/dev/null
  [ "$#" -gt 0 ] || exit 0
fi
exes=()
for arg in "$@"; do
  if [ -d "$arg" ]; then
    while IFS= read -r -d '' f; do exes+=("$f"); done < <(find "$arg" -type f -iname '*.exe' -print0)
  elif [[ "${arg,,}" == *.zip ]]; then
    dir=$scratch/$(( ${#exes[@]} ))-$(basename "$arg")
    mkdir -p "$dir"
    unzip -q "$arg" -d "$dir"
    while IFS= read -r -d '' f; do exes+=("$f"); done < <(find "$dir" -type f -iname '*.exe' -print0)
  elif [ -f "$arg" ]; then
    exes+=("$arg")
  else
    echo "check-windows-imports: $arg not found" >&2
    exit 2
  fi
done
[ "${#exes[@]}" -gt 0 ] || { echo "check-windows-imports: no .exe in $*" >&2; exit 1; }

bad=0
for exe in "${exes[@]}"; do
  # A file objdump cannot read is a failure, not a pass with no imports.
  table=$("$objdump" -p "$exe") || { echo "check-windows-imports: cannot read $exe" >&2; exit 1; }
  names=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$table" | tr -d '\r' | tr 'A-Z' 'a-z' | sort -u)
  if [ -z "$names" ]; then
    echo "check-windows-imports: $exe has no import table" >&2
    bad=1
    continue
  fi
  while IFS= read -r dll; do
    ok=0
    for a in "${allowed[@]}"; do [ "$dll" = "$a" ] && ok=1 && break; done
    if [ "$ok" = 0 ]; then
      echo "check-windows-imports: $(basename "$exe") imports $dll, which Windows does not ship" >&2
      bad=1
    fi
  done <<<"$names"
done
[ "$bad" = 0 ] || exit 1
echo "windows imports: ${#exes[@]} program(s), system DLLs only"
