#!/usr/bin/env bash
# The release zip: the same bytes from two runs, its three entries, and the
# unpacked program started once by the black-box driver.
#   dist_test.sh MORVI_EXE DRIVER_EXE VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$1 driver=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$root/scripts/dist" "$exe" "$work/first.zip" >/dev/null
sleep 1 # a clock in the bytes would show
"$root/scripts/dist" "$exe" "$work/second.zip" >/dev/null
cmp "$work/first.zip" "$work/second.zip"
entries=$(unzip -Z1 "$work/first.zip" | tr '\n' ' ')
if [[ $entries != "Morvi.exe README.txt LICENSE " ]]; then
  echo "unexpected entries: $entries"
  exit 1
fi
unzip -q "$work/first.zip" -d "$work/unpacked"
if [[ $(head -c 3 "$work/unpacked/README.txt" | od -An -tx1 | tr -d ' ') != efbbbf ]]; then
  echo "README.txt does not start with the UTF-8 byte-order mark"
  exit 1
fi
# The import table names KnownDLLs only, which Windows never takes from the
# program's folder; the manifest asks for the user's own rights and says the
# program draws at each monitor's own scale.
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
objdump=$([[ $machine == 8664 ]] && echo x86_64 || echo i686)-w64-mingw32-objdump
known=" kernel32.dll user32.dll gdi32.dll comdlg32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll \
shlwapi.dll imm32.dll rpcrt4.dll sechost.dll ws2_32.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
if [[ $imports != *kernel32.dll* ]]; then
  echo "no import table read from $exe"
  exit 1
fi
for dll in $imports; do
  if [[ $known != *" $dll "* ]]; then
    echo "the program imports $dll, which is not a KnownDLL"
    exit 1
  fi
done
for wanted in 'requestedExecutionLevel level="asInvoker" uiAccess="false"' '>PerMonitorV2, PerMonitor</dpiAwareness>'; do
  if ! grep -aqF "$wanted" "$exe"; then
    echo "the manifest lacks $wanted"
    exit 1
  fi
done
status=0
"$root/scripts/wine-run" "$driver" --morvi="$work/unpacked/Morvi.exe" --version="$version" \
  --gtest_filter='Release.*' || status=$?
exit "$status"
