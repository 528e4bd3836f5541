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
status=0
"$root/scripts/wine-run" "$driver" --morvi="$work/unpacked/Morvi.exe" --version="$version" \
  --gtest_filter='Release.*' || status=$?
exit "$status"
