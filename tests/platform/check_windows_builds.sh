#!/usr/bin/env bash
# Checks the Windows cross builds under <build>/win32-<arch>: the platform
# library and every program exist and carry the target's PE machine type.
# Exit 77 (skipped) when scripts/cross-build has not run for this tree.
set -euo pipefail
build=$1
if [ ! -d "$build/win32-i686" ] && [ ! -d "$build/win32-x86_64" ]; then
  echo "no Windows builds in $build (run scripts/cross-build)"
  exit 77
fi
status=0
for arch in i686 x86_64; do
  dir=$build/win32-$arch
  case $arch in
    i686) want_exe=pei-i386; want_obj=pe-i386 ;;
    x86_64) want_exe=pei-x86-64; want_obj=pe-x86-64 ;;
  esac
  objdump=$arch-w64-mingw32-objdump
  if [ ! -d "$dir" ]; then
    echo "FAIL: $dir missing"
    status=1
    continue
  fi
  lib=$dir/platform/libaf_platform.a
  if [ ! -f "$lib" ]; then
    echo "FAIL: $lib missing"
    status=1
  elif "$objdump" -f "$lib" | grep 'file format' | grep -qv "file format $want_obj\$"; then
    echo "FAIL: $lib holds members that are not $want_obj"
    status=1
  else
    echo "ok: $lib ($want_obj)"
  fi
  mapfile -t exes < <(find "$dir" -name '*.exe' -not -path '*/CMakeFiles/*')
  if [ ${#exes[@]} -eq 0 ]; then
    echo "FAIL: no programs in $dir"
    status=1
  fi
  for exe in "${exes[@]}"; do
    format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
    if [ "$format" = "$want_exe" ]; then
      echo "ok: $exe ($format)"
    else
      echo "FAIL: $exe is '$format', want $want_exe"
      status=1
    fi
    # Statically linked: no mingw run-time DLL may be needed.
    if "$objdump" -p "$exe" | grep -Ei 'DLL Name: (libstdc|libgcc|libwinpthread)'; then
      echo "FAIL: $exe needs a mingw DLL"
      status=1
    fi
  done
done
exit $status
