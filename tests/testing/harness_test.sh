#!/bin/bash
# The Wine harness end to end, with standin-container.exe hosting the stand-in
# control: private prefix with the control registered (or not), the event log,
# exit codes, Esc, the timeout, two programs at once, the screenshot and the listing
# of the temporary folder.
#
#   harness_test.sh SOURCE_DIR BUILD_DIR MOVIES_DIR
set -u
source_dir=$1
build=$2
movies=$3
harness=$source_dir/testing/wine-harness.sh
container=$build/bin/standin-container.exe
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

windows_path() {
  local p
  p=$(realpath -m -- "$1")
  printf 'Z:%s' "${p//\//\\}"
}

# run NAME EXPECTED_EXIT [harness options and command]: runs the harness, checks the
# exit code and sets $out to the test's output folder.
run() {
  local name=$1 expected=$2
  shift 2
  out=$build/wine-harness/harness-$name
  "$harness" --out "$out" "$@" >"$build/wine-harness/harness-$name.stdout" 2>&1
  local status=$?
  [ "$status" = "$expected" ] || fail "$name: exit code $status, expected $expected"
}

expect_log() {  # expect_log FILE LINE...: the file holds exactly these lines
  local file=$1
  shift
  local expected
  expected=$(printf '%s\n' "$@")
  if [ "$(cat "$file" 2>/dev/null)" != "$expected" ]; then
    fail "$file holds:"
    cat "$file" >&2
    echo "--- expected:" >&2
    echo "$expected" >&2
  fi
}

expect_line() {  # expect_line FILE LINE: the file holds this line (CR LF or LF)
  tr -d '\r' <"$1" 2>/dev/null | grep -qxF -- "$2" || fail "$1 lacks the line \"$2\""
}

plain=$(windows_path "$movies/plain.swf")
quick=$(windows_path "$movies/quick.swf")

# The timed quit: placement first (the container activates the control before it
# loads), then the load, then the quit; the screenshot shows the movie's colour.
run quit 0 --env FLASH_STANDIN_QUIT_MS=1500 --screenshot 0.5 --windows 0.5 \
  "$build" unused "$container" --touch-temp made-by-test "$plain"
expect_log "$out/standin.log" "Rect 0 0 550 400" "Window 100 50 550 400" "LoadMovie 0 $plain" "FSCommand quit "
expect_line "$out/stdout.txt" "Event 150 quit "
if [ -f "$out/screenshot.png" ]; then
  pixel=$(convert "$out/screenshot.png" -format '%[pixel:p{120,70}]' info:)
  [ "$pixel" = "srgb(51,102,153)" ] || fail "screenshot pixel inside the control is $pixel"
  outside=$(convert "$out/screenshot.png" -format '%[pixel:p{700,600}]' info:)
  [ "$outside" != "srgb(51,102,153)" ] || fail "screenshot shows the movie's colour outside the window"
else
  fail "no screenshot"
fi
expect_line "$out/windows.txt" "100 50 550 400 Stand-in container"
expect_line "$out/temp-listing.txt" "made-by-test/"
expect_line "$out/temp-listing.txt" "made-by-test/file.txt"
[ -f "$out/prefix/system.reg" ] || fail "the prefix was not kept"

# The movie's own fscommands, in order, and a resize followed by the log.
run commands 0 --env FLASH_STANDIN_HOLD=1 "$build" unused "$container" --rect 10 20 320 240 "$quick"
expect_log "$out/standin.log" "Rect 0 0 320 240" "Window 10 20 320 240" "LoadMovie 0 $quick" \
  "FSCommand hello a b" "FSCommand quit "
run resize 0 --env FLASH_STANDIN_QUIT_MS=1500 "$build" unused "$container" --resize-after 300 300 200 "$plain"
expect_log "$out/standin.log" "Rect 0 0 550 400" "Window 100 50 550 400" "LoadMovie 0 $plain" \
  "Rect 0 0 300 200" "Window 100 50 300 200" "FSCommand quit "

# Esc to the window ends the container with 27, passed through.
run escape 27 --escape 0.5 "$build" unused "$container" "$plain"
grep -q '^FSCommand' "$out/standin.log" && fail "escape: unexpected FSCommand"
expect_line "$out/standin.log" "LoadMovie 0 $plain"

# A program that does not end is stopped at the timeout; nothing of it stays.
run timeout 124 --timeout 3 "$build" unused "$container" "$plain"
# Every process of the prefix (wine's and wineserver) has its WINEPREFIX.
for environ in /proc/[0-9]*/environ; do
  if { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$out/prefix"; then
    fail "timeout: process ${environ#/proc/} of the prefix is still running"
  fi
done

# A program started by the tested one without waiting (as the player starts
# regsvr32) is waited for: the container started through "start" lives to its quit.
run started 0 --env FLASH_STANDIN_QUIT_MS=2000 "$build" unused \
  cmd /c start "" "$(windows_path "$container")" "$plain"
expect_line "$out/standin.log" "FSCommand quit "

# The version probe through entry 39, with and without a registered control.
run version 0 --env FLASH_STANDIN_VERSION=00090000 "$build" unused "$container" --version
expect_line "$out/stdout.txt" "FlashVersion 0x00090000"
run version-default 0 "$build" unused "$container" --version
expect_line "$out/stdout.txt" "FlashVersion 0x00080000"
run no-control 3 --no-control "$build" unused "$container" --version
grep -q '^No control' "$out/stdout.txt" || fail "no-control: the control was created"

# The stand-in carried as a control file: copied into the system directory of a
# prefix without any control and registered there by regsvr32, as the player does.
# Each word of cmd's command is an argument of its own: Wine quotes those that hold
# blanks (the checkout's path may) when it makes the command line.
ocx='C:\windows\system32\flash8.ocx'
run carried 0 --no-control --env FLASH_STANDIN_VERSION=00070000 "$build" unused cmd /c \
  copy "$(windows_path "$build/bin/flash-standin.dll")" "$ocx" '&&' regsvr32 /s "$ocx" '&&' \
  "$(windows_path "$container")" --version
expect_line "$out/stdout.txt" "FlashVersion 0x00070000"
[ -f "$out/prefix/drive_c/windows/system32/flash8.ocx" ] || fail "carried: no flash8.ocx in system32"
grep -A3 -F 'CLSID\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\InprocServer32]' "$out/prefix/system.reg" |
  grep -qxF '@="C:\\windows\\system32\\flash8.ocx"' || fail "carried: not registered from system32"

# Two programs at once, each with its own log.
run two 0 --env FLASH_STANDIN_QUIT_MS=1000 "$build" unused \
  "$container" "$plain" ++ "$container" --rect 600 400 200 150 "$quick"
expect_line "$out/standin.log" "LoadMovie 0 $plain"
expect_line "$out/standin-2.log" "LoadMovie 0 $quick"
expect_line "$out/standin-2.log" "Window 600 400 200 150"
grep -qF "$quick" "$out/standin.log" && fail "two: the first log has the second program's movie"
[ "$(cat "$out/exit-code" 2>/dev/null)" = 0 ] || fail "two: first exit code"
[ "$(cat "$out/exit-code-2" 2>/dev/null)" = 0 ] || fail "two: second exit code"

# Exit codes of the second program are passed through when the first ends well.
# (the second has a bad command line: exit code 2).
run second-fails 2 --env FLASH_STANDIN_QUIT_MS=500 "$build" unused \
  "$container" --rect 0 0 100 100 "$plain" ++ "$container" --no-such-option
[ "$(cat "$out/exit-code" 2>/dev/null)" = 0 ] || fail "second-fails: first exit code"

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "harness tests passed"
