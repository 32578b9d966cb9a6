#!/usr/bin/env bash
# Runs the Windows platform layer's self-check (x86_64 build) under wine in a
# throw-away prefix. Exit 77 (skipped) without the build or wine.
set -uo pipefail
exe=$1
[ -f "$exe" ] || { echo "no $exe (run scripts/cross-build)"; exit 77; }
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
[ -n "$wine" ] || { echo "wine64 not installed"; exit 77; }
prefix=$(mktemp -d "${TMPDIR:-/tmp}/af-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
# No display: wine must not try to open windows of its own.
unset DISPLAY
out=$(timeout 200 "$wine" "$exe" selftest 2>/dev/null)
rc=$?
echo "$out"
server=$(dirname "$wine")/wineserver64
[ -x "$server" ] || server=$(command -v wineserver || true)
[ -n "$server" ] && "$server" -k 2>/dev/null
rm -rf "$prefix"
[ $rc -eq 0 ] && grep -q 'SELFTEST OK' <<<"$out"
