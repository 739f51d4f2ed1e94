#!/usr/bin/env bash
# Builds the Windows deliverables and lays the package out.
#   ./package.sh          i686, the shipped package, in dist/OVTouch/
#   ./package.sh win64    the same sources for x86-64, in dist/OVTouch-win64/
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
ovt_need_packages $OVT_BUILD_PACKAGES

preset=${1:-win32}
case "$preset" in
    win32) dist=dist/OVTouch ;;
    win64) dist=dist/OVTouch-win64 ;;
    *) echo "usage: $0 [win32|win64]" >&2; exit 2 ;;
esac

cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j"$(nproc)"

rm -rf "$dist"
mkdir -p "$dist"
for f in olvaset1.exe ovtcalib.exe OVTouch.SYS ovtouch.cpl altclick.exe uninst.exe ovtdump.exe; do
    if [ -f "build/$preset/out/$f" ]; then cp "build/$preset/out/$f" "$dist/"; fi
done
if [ -f setup/readme.txt ]; then cp setup/readme.txt "$dist/"; fi

echo "package $dist:"
for f in "$dist"/*; do
    if [ -e "$f" ]; then printf '  %-14s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"; fi
done
