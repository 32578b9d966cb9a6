#!/usr/bin/env bash
# Runs the x86_64 meter build under wine in a throw-away prefix: its logic
# under the Windows run-time (afmeter_check.exe), a second instance ending
# with 1, and a start ending with 8 and writing nothing (wine has no filter
# manager driver). Exit 77 (skipped) without the build or wine.
set -uo pipefail
dir=$1/win32-x86_64
meter=$dir/afmeter/afmeter.exe
check=$dir/afmeter/afmeter_check.exe
holder=$dir/platform/af_platform_check.exe
for f in "$meter" "$check" "$holder"; do
  [ -f "$f" ] || { echo "no $f (run scripts/cross-build)"; exit 77; }
done
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; }
[ -n "$wine" ] || { echo "wine64 not installed"; exit 77; }
server=$(dirname "$wine")/wineserver64
[ -x "$server" ] || server=$(command -v wineserver || true)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/af-meter-wine-XXXXXX")
export WINEPREFIX=$tmp/prefix WINEDEBUG=-all
unset DISPLAY
holder_pid=
cleanup() {
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null
  [ -n "$server" ] && "$server" -k 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

# Also sets up the prefix, so later runs print nothing of wine's own.
timeout 200 "$wine" "$check" >"$tmp/check.out" 2>"$tmp/check.err"
rc=$?
cat "$tmp/check.err" | grep -v '^wine: ' >&2
[ $rc -eq 0 ] || fail "afmeter_check.exe ended with $rc"
printf -- '-99 -99\r\nMETER CHECK OK\r\n' >"$tmp/check.want"
cmp -s "$tmp/check.out" "$tmp/check.want" || fail "afmeter_check.exe wrote: $(od -c "$tmp/check.out" | head -5)"

timeout 100 "$wine" "$meter" >"$tmp/start.out" 2>"$tmp/start.err"
rc=$?
[ $rc -eq 8 ] || fail "a start without the driver ended with $rc, want 8"
[ -s "$tmp/start.out" ] && fail "a start without the driver wrote: $(head -c 200 "$tmp/start.out")"
[ -s "$tmp/start.err" ] && fail "a start without the driver wrote to stderr: $(head -c 200 "$tmp/start.err")"

# Another program holds the single-instance mutex, as a running meter does.
"$wine" "$holder" hold Only_One_Instance_Of_AF 60000 >"$tmp/hold.out" 2>/dev/null &
holder_pid=$!
for _ in $(seq 1 200); do
  grep -q owned "$tmp/hold.out" 2>/dev/null && break
  sleep 0.1
done
if grep -q owned "$tmp/hold.out"; then
  timeout 100 "$wine" "$meter" >"$tmp/second.out" 2>&1
  rc=$?
  [ $rc -eq 1 ] || fail "a second instance ended with $rc, want 1"
  [ -s "$tmp/second.out" ] && fail "a second instance wrote: $(head -c 200 "$tmp/second.out")"
else
  fail "the mutex holder did not start: $(cat "$tmp/hold.out")"
fi
[ $status -eq 0 ] && echo "ok: the meter under wine: logic check, exit 8 without driver, second instance 1"
exit $status
