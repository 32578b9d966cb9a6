#!/usr/bin/env bash
# Checks the cross-built meter: the i686 afmeter.exe is a 32-bit PE of the
# windowed (GUI) subsystem that imports FilterConnectCommunicationPort and
# FilterSendMessage from fltlib.dll and carries the asInvoker manifest;
# the x86_64 build exists too.
# Exit 77 (skipped) when scripts/cross-build has not run for this tree.
set -euo pipefail
build=$1
exe=$build/win32-i686/afmeter/afmeter.exe
if [ ! -d "$build/win32-i686" ]; then
  echo "no Windows builds in $build (run scripts/cross-build)"
  exit 77
fi
status=0
fail() { echo "FAIL: $*"; status=1; }

[ -f "$exe" ] || { echo "FAIL: $exe missing"; exit 1; }
dump=$(i686-w64-mingw32-objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$dump" || fail "$exe is not a 32-bit PE"
grep -qE '^Magic[[:space:]]+010b' <<<"$dump" || fail "$exe is not PE32"
grep -qE '^Subsystem[[:space:]]+00000002' <<<"$dump" || fail "$exe is not of the windowed subsystem"
# The functions imported from fltlib.dll: the lines after its "DLL Name"
# up to the next empty line.
imports=$(awk 'tolower($0) ~ /dll name: fltlib\.dll/ {on=1; next} on && /^[[:space:]]*$/ {on=0} on' <<<"$dump")
for fn in FilterConnectCommunicationPort FilterSendMessage; do
  grep -qw "$fn" <<<"$imports" || fail "$exe does not import $fn from fltlib.dll"
done
# Its manifest asks for the invoker's execution level.
grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' "$exe" ||
  fail "$exe has no asInvoker manifest"
if grep -Ei 'DLL Name: (libstdc|libgcc|libwinpthread)' <<<"$dump"; then
  fail "$exe needs a mingw DLL"
fi
x64=$build/win32-x86_64/afmeter/afmeter.exe
[ -f "$x64" ] || fail "$x64 missing"
[ $status -eq 0 ] && echo "ok: $exe is a windowed PE32 importing both filter functions"
exit $status
