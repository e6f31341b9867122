#!/usr/bin/env bash
# The Windows side of `make test`, after the host tests:
#
#   - the win32 build (the programs we ship) is always checked without running it:
#     image format, machine, subsystem, imports, the stub's resources (label "static");
#   - the win64 build, a test build of the same sources, runs every Windows test under
#     64-bit Wine, in fresh prefixes of its build folder;
#   - the win32 build runs its Windows tests under 32-bit Wine as well, but only where
#     this machine can run 32-bit programs (found out by starting the 32-bit loader).
#
# Prints at the end which builds ran under Wine. Exit 1 when any test failed.
#
# CTEST_JOBS sets ctest's -j (default: the processor count).
set -uo pipefail
cd "$(dirname "$0")/.."
. testing/wine-env.sh
jobs=${CTEST_JOBS:-$(nproc)}
failed=()
summary=()

fresh_prefix() {  # the build folder's shared prefix, made anew for this run
  testing/wine-prefix.sh "$1" "$PWD/$1/wineprefix" --fresh
}

run_ctest() {  # run_ctest PRESET [ctest arguments...]
  local preset=$1
  shift
  echo "== ctest --preset $preset $*"
  ctest --preset "$preset" -j "$jobs" "$@" || { failed+=("$preset${*:+ $*}"); return 1; }
}

run_ctest win32 -L static
if vx_wine_runs win64; then
  if fresh_prefix build/win64 && run_ctest win64; then
    summary+=("win64: every Windows test ran under 64-bit Wine and passed")
  else
    summary+=("win64: ran under 64-bit Wine, with FAILURES")
  fi
else
  failed+=("win64 (no 64-bit Wine)")
  summary+=("win64: NOT RUN: 64-bit Wine does not start here (scripts/bootstrap.sh installs wine64)")
fi
if vx_wine_runs win32; then
  if fresh_prefix build/win32 && run_ctest win32 -LE static; then
    summary+=("win32: every Windows test ran under 32-bit Wine and passed")
  else
    summary+=("win32: ran under 32-bit Wine, with FAILURES")
  fi
else
  summary+=("win32: static checks only; this machine does not run 32-bit programs, so no 32-bit Wine")
fi

echo
echo "Windows builds under Wine:"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
