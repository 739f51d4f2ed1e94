#!/usr/bin/env bash
# Builds the Windows deliverables and lays the package out.
#   ./package.sh          i686, the shipped package, in dist/OVTouch/
#   ./package.sh win64    the same sources for x86-64, in dist/OVTouch-win64/
#   ./package.sh --files  the package's file names, one a line
set -euo pipefail
cd "$(dirname "$0")"

# The names stand in common/package_files.h, which the setup reads too.
package_files() { sed -n -E 's/^#define[[:space:]]+OVT_FILE_[A-Z0-9_]+[[:space:]]+"([^"]+)".*/\1/p' common/package_files.h; }
if [ "${1:-}" = --files ]; then package_files; exit 0; fi

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
# Built files come from the build, the read-me from setup/.
for f in $(package_files); do
    for source in "build/$preset/out/$f" "setup/$f"; do
        if [ -f "$source" ]; then cp "$source" "$dist/"; break; fi
    done
done

echo "package $dist:"
for f in "$dist"/*; do
    if [ -e "$f" ]; then printf '  %-14s %8d bytes\n' "$(basename "$f")" "$(stat -c %s "$f")"; fi
done
