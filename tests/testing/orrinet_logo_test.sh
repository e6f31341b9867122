#!/bin/bash
# The player stub run by itself under the harness plays its own logo: the stand-in
# sees the logo loaded from the extracted package, placed in a window, and the
# timed quit closes the player. Skipped (77) while the build has no Orrinet.exe.
#
#   orrinet_logo_test.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1
build=$2
orrinet=$build/bin/Orrinet.exe
[ -f "$orrinet" ] || { echo "no $orrinet: skipped"; exit 77; }
out=$build/wine-harness/orrinet-logo
"$source_dir/testing/wine-harness.sh" --out "$out" --timeout 60 --env FLASH_STANDIN_QUIT_MS=2000 \
  "$build" unused "$orrinet"
status=$?
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
[ "$status" = 0 ] || fail "exit code $status"
log=$out/standin.log
grep -qE '^LoadMovie 0 .*\\logo\.swf$' "$log" || fail "no LoadMovie of logo.swf"
grep -qE '^Rect 0 0 [0-9]+ [0-9]+$' "$log" || fail "no Rect at 0, 0"
grep -qE '^Window -?[0-9]+ -?[0-9]+ [0-9]+ [0-9]+$' "$log" || fail "no Window"
grep -qxF 'FSCommand quit ' "$log" || fail "no timed quit"
if [ "$failures" -gt 0 ]; then
  echo "--- standin.log:" >&2
  cat "$log" >&2
  exit 1
fi
echo "Orrinet played its logo"
