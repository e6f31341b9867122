#!/bin/bash
# wine-harness.sh: runs Windows programs of a build folder under Wine, in a private
# prefix, on a private 1024 x 768 X server, and collects what the tests look at.
#
#   testing/wine-harness.sh [options] BUILD_DIR TEST_NAME PROGRAM [ARG...] [++ PROGRAM2 [ARG...]]
#
# BUILD_DIR  a Windows build folder (win32 or win64: the programs run under the Wine
#            of its architecture; its bin/flash-standin.dll is the control).
# TEST_NAME  names the output folder BUILD_DIR/wine-harness/TEST_NAME (emptied first).
# PROGRAM    a Unix path to the .exe; its arguments are passed as they are (Windows
#            paths into the Unix tree are "Z:" followed by the path with "\" for "/").
# ++         starts a second program at the same time as the first.
#
# Options:
#   --env NAME=VALUE     extra environment for the programs (FLASH_STANDIN_VERSION,
#                        FLASH_STANDIN_HOLD, FLASH_STANDIN_QUIT_MS, ...); repeatable
#   --timeout SECS       limit for each program (default 60); then it is killed
#   --screenshot SECS    a screenshot of the screen SECS after the first window shows
#   --screenshot-path P  where it goes (default OUT/screenshot.png)
#   --windows SECS       SECS after the first window shows, list the visible top-level
#                        windows in OUT/windows.txt, one a line: "X Y W H TITLE"
#   --keys "SECS KEY..." send the keys (xdotool key names: Return, Tab, space, Right,
#                        Escape, ...; each pressed and released, in order) to the
#                        first window that shows, SECS after it shows; repeatable
#   --escape SECS        the same as --keys "SECS Escape"
#   --no-control         the prefix has no Flash control registered
#   --prefix-folder P    make the folder P (relative to the prefix's drive C, "/"
#                        separated) before the programs run; repeatable
#   --temp-folder P      the user's temporary folder (TEMP and TMP in the prefix's
#                        registry) becomes P, a Windows path on drive C, made first;
#                        any characters
#   --keep-prefix        run in the prefix that the last run with the same output
#                        folder left (as it left it), instead of a fresh copy; a fresh
#                        one when there is none
#   --out DIR            output folder instead of BUILD_DIR/wine-harness/TEST_NAME
#
# What the output folder holds afterwards:
#   standin.log          the stand-in's event log of the first program (FLASH_STANDIN_LOG)
#   standin-2.log        the same for the second program
#   stdout.txt, stderr.txt (and stdout-2.txt, stderr-2.txt)
#   exit-code, exit-code-2   the programs' exit codes (124 or 137: timed out)
#   screenshot.png       when asked for
#   windows.txt          when asked for
#   temp-listing.txt     everything below the prefix's temporary folder after the run,
#                        one path per line relative to it, folders ending in "/"
#   prefix/              the private Wine prefix (system32, system.reg, ...), kept for
#                        inspection until the next run of the same test
#
# After the programs end, programs that they started (regsvr32 for one) get up to
# 15 s to finish; then the prefix's wineserver is ended with everything in it.
#
# Exit code: the first program's, or the second's when the first ended with 0;
# 125 when the harness itself fails. Each program's stdout is printed afterwards.
#
# The stand-in control reads, when it needs them:
#   FLASH_STANDIN_VERSION  FlashVersion's result, hexadecimal ("00090000" or
#                          "0x00090000"); default 00080000
#   FLASH_STANDIN_HOLD=1   stay on the last frame instead of looping to frame 0
#   FLASH_STANDIN_QUIT_MS  fire FSCommand ("quit", "") this many ms after the first
#                          LoadMovie
#   FLASH_STANDIN_LOG      set by the harness to standin.log (standin-2.log)
# and writes one line per event to the log (UTF-8, LF line ends, appended and flushed
# one line at a time):
#   LoadMovie <layer> <path>       path as the caller passed it
#   BackgroundColor 0x<RRGGBB>     upper-case hex
#   Rect <x> <y> <width> <height>  the control in its parent's client area, on change
#   Window <x> <y> <width> <height>  the top-level window on the screen, on change
#   FSCommand <command> <args>     when fired ("FSCommand quit " for empty args)
# A movie's own fscommand(command, args) actions fire when playback enters their
# frame, every time it does. FrameNum is -1 until a movie is loaded.
#
# The prefix is a copy of a template made once per build folder (under a lock, so
# parallel tests share the work): of the build's architecture, no Mono or Gecko, X11 windows unmanaged,
# the temporary folder (TEMP and TMP) C:\users\<user>\Temp\scratch dir.ü, and, unless
# --no-control, the stand-in registered with regsvr32. Binary files of the template are
# hard links, everything else is copied.
#
# The temporary folder's name holds a blank, a dot and a letter beyond ASCII, as users'
# folders often do ("my projects", "john.doe"), so that every program under test works
# below such a path.
set -u
temp_name='scratch dir.ü'

harness_fail() {
  echo "wine-harness: $*" >&2
  exit 125
}

to_windows_path() {
  local p
  p=$(realpath -m -- "$1")
  printf 'Z:%s' "${p//\//\\}"
}

# ---------------------------------------------------------------------------------
# Inner part: runs on the private X server (DISPLAY is set by xvfb-run).
if [ "${1:-}" = "--inner" ]; then
  out=$VXH_OUT
  # The outer part chose the Wine (VX_WINE, VX_WINESERVER and the rest are exported).
  export WINEPREFIX=$VXH_PREFIX
  # The extra environment, one NAME=VALUE per line.
  while IFS= read -r assignment; do
    [ -n "$assignment" ] && export "${assignment?}"
  done < "$out/.environment"

  # Whether a process of this prefix other than Wine's own services still runs.
  started_programs_running() {
    local environ cmdline
    for environ in $(grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
      cmdline=$(tr '\0' ' ' <"${environ%/environ}/cmdline" 2>/dev/null)
      case "$cmdline" in
        "" | *wineserver* | *services.exe* | *explorer.exe* | *winedevice.exe* | *plugplay.exe* | \
        *svchost.exe* | *rpcss.exe* | *conhost.exe* | *tabtip.exe* | *wineboot.exe*) ;;
        *) return 0 ;;
      esac
    done
    return 1
  }

  if [ -n "$VXH_TEMP_FOLDER" ]; then
    for name in TEMP TMP; do
      "$VX_WINE" reg add 'HKCU\Environment' /v "$name" /t REG_SZ /d "$VXH_TEMP_FOLDER" /f >/dev/null 2>&1
    done
    "$VX_WINESERVER" -w
  fi

  pids=()
  run_one() {  # run_one SUFFIX PROGRAM ARGS...
    local suffix=$1
    shift
    FLASH_STANDIN_LOG=$(to_windows_path "$out/standin$suffix.log") \
      timeout -k 5 "$VXH_TIMEOUT" "$VX_WINE" "$@" >"$out/stdout$suffix.txt" 2>"$out/stderr$suffix.txt"
    echo $? >"$out/exit-code$suffix"
  }

  # The two command lines are stored NUL-separated.
  mapfile -d '' first <"$out/.command-1"
  run_one "" "${first[@]}" &
  pids+=($!)
  if [ -s "$out/.command-2" ]; then
    mapfile -d '' second <"$out/.command-2"
    run_one "-2" "${second[@]}" &
    pids+=($!)
  fi

  # Window tasks: wait until the first window (of either program) is visible, then act.
  # Each runs in a process group of its own (job control), so it can be ended whole.
  set -m
  helpers=()
  # The first visible top-level window. Wine's windows carry no _NET_WM_PID, but each
  # has a WM_CLASS (the root window has none).
  find_window() {
    xdotool search --sync --onlyvisible --maxdepth 1 --class '.' 2>/dev/null | head -n 1
  }
  if [ -n "$VXH_SCREENSHOT_DELAY" ]; then
    (
      find_window >/dev/null
      sleep "$VXH_SCREENSHOT_DELAY"
      import -window root "$VXH_SCREENSHOT_PATH" 2>"$out/screenshot-error.txt"
    ) &
    helpers+=($!)
  fi
  if [ -n "$VXH_WINDOWS_DELAY" ]; then
    (
      find_window >/dev/null
      sleep "$VXH_WINDOWS_DELAY"
      for window in $(xdotool search --onlyvisible --maxdepth 1 --class '.' 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window" 2>/dev/null)"
        printf '%s %s %s %s %s\n' "${X:-?}" "${Y:-?}" "${WIDTH:-?}" "${HEIGHT:-?}" \
          "$(xdotool getwindowname "$window" 2>/dev/null)"
      done >"$out/windows.txt"
    ) &
    helpers+=($!)
  fi
  # Each line of .keys: a delay, then the keys to send after it.
  while read -r delay keys; do
    [ -n "$delay" ] || continue
    (
      window=$(find_window)
      sleep "$delay"
      # The keys go to that window itself (Wine takes synthetic key events), so they
      # never reach a second program by way of the focus. A short pause between keys
      # lets each be handled before the next.
      [ -n "$window" ] && xdotool key --window "$window" --delay 100 $keys 2>/dev/null
    ) &
    helpers+=($!)
  done <"$out/.keys"

  for pid in "${pids[@]}"; do wait "$pid"; done
  {
    for pid in "${helpers[@]}"; do
      # A helper still waiting for a window that never came has nothing left to do.
      kill -TERM -- "-$pid"
      wait "$pid"
    done
  } 2>/dev/null
  # Programs that the tested ones started without waiting (regsvr32 for one) may
  # still be running: give them up to 15 s to finish, then end whatever is left.
  for _ in $(seq 75); do
    started_programs_running || break
    sleep 0.2
  done
  "$VX_WINESERVER" -k 2>/dev/null
  exit 0
fi

# ---------------------------------------------------------------------------------
# Outer part: options, template, private prefix, X server, results.
timeout_secs=60
screenshot_delay=""
screenshot_path=""
windows_delay=""
keys=()
with_control=1
keep_prefix=0
prefix_folders=()
temp_folder=""
out=""
environment=()
while [ $# -gt 0 ]; do
  case "$1" in
    --env) environment+=("${2:?--env needs NAME=VALUE}"); shift 2 ;;
    --timeout) timeout_secs=${2:?}; shift 2 ;;
    --screenshot) screenshot_delay=${2:?}; shift 2 ;;
    --screenshot-path) screenshot_path=${2:?}; shift 2 ;;
    --windows) windows_delay=${2:?}; shift 2 ;;
    --keys) keys+=("${2:?--keys needs \"SECS KEY...\"}"); shift 2 ;;
    --escape) keys+=("${2:?} Escape"); shift 2 ;;
    --no-control) with_control=0; shift ;;
    --prefix-folder) prefix_folders+=("${2:?}"); shift 2 ;;
    --temp-folder) temp_folder=${2:?}; shift 2 ;;
    --keep-prefix) keep_prefix=1; shift ;;
    --out) out=${2:?}; shift 2 ;;
    --) shift; break ;;
    -*) harness_fail "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -ge 3 ] || harness_fail "usage: wine-harness.sh [options] BUILD_DIR TEST_NAME PROGRAM [ARG...] [++ PROGRAM2 [ARG...]]"
build=$(realpath -- "$1") || harness_fail "no build folder $1"
test_name=$2
shift 2
command_1=()
command_2=()
while [ $# -gt 0 ] && [ "$1" != "++" ]; do command_1+=("$1"); shift; done
if [ "${1:-}" = "++" ]; then
  shift
  command_2=("$@")
  [ ${#command_2[@]} -gt 0 ] || harness_fail "nothing after ++"
fi

source_dir=$(cd "$(dirname "$0")/.." && pwd)
harness_dir=$build/wine-harness
[ -n "$out" ] || out=$harness_dir/$test_name
[ -n "$screenshot_path" ] || screenshot_path=$out/screenshot.png
dll=$build/bin/flash-standin.dll
mkdir -p "$harness_dir" || harness_fail "cannot create $harness_dir"

. "$source_dir/testing/wine-env.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
vx_wine_env "$build" || harness_fail "no Wine for $build"

# Copies a prefix: hard links for the binaries, which nothing writes (a program that
# writes into system32 makes a new file), real copies for everything else.
clone_prefix() {
  local from=$1 to=$2
  cp -al "$from" "$to" || return 1
  (cd "$to" && find . -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' \
      -o -iname '*.sys' -o -iname '*.acm' -o -iname '*.cpl' -o -iname '*.tlb' -o -iname '*.nls' \
      -o -iname '*.ax' -o -iname '*.ds' -o -iname '*.vxd' -o -iname '*.com' -o -iname '*.msstyles' \
      -o -iname '*.mod' -o -iname '*.ttf' -o -iname '*.ocx' \) -print0) |
    while IFS= read -r -d '' f; do
      cp -p --remove-destination "$from/$f" "$to/$f" || return 1
    done
}

# Points TEMP and TMP of each user of the prefix at the folder $temp_name in the user's
# Temp, made here.
set_temp_folder() {  # set_temp_folder PREFIX
  local temp user variable
  for temp in "$1"/drive_c/users/*/Temp; do
    user=$(basename "$(dirname "$temp")")
    mkdir -p "$temp/$temp_name" || return 1
    for variable in TEMP TMP; do
      WINEPREFIX=$1 "$VX_WINE" reg add 'HKCU\Environment' /v "$variable" /t REG_SZ \
        /d "C:\\users\\$user\\Temp\\$temp_name" /f >/dev/null 2>&1 || return 1
    done
  done
  WINEPREFIX=$1 "$VX_WINESERVER" -w
}

# Templates: "bare" (prefix only) and "standin" (bare plus the registered control).
make_templates() {
  local bare=$harness_dir/template-bare standin=$harness_dir/template-standin
  local version
  # Templates made by another Wine, or with another temporary folder, are made again.
  version="$WINEARCH $("$VX_WINE" --version 2>/dev/null) TEMP=$temp_name"
  if [ -d "$bare" ] && [ "$(cat "$bare/.wine-version" 2>/dev/null)" != "$version" ]; then
    WINEPREFIX=$bare "$VX_WINESERVER" -k 2>/dev/null
    rm -rf "$bare" "$standin"
  fi
  if [ ! -f "$bare/.wine-version" ]; then
    "$source_dir/testing/wine-prefix.sh" "$build" "$bare" >/dev/null || return 1
    set_temp_folder "$bare" || return 1
    printf '%s\n' "$version" >"$bare/.wine-version"
  fi
  [ "$with_control" = 1 ] || return 0
  [ -f "$dll" ] || { echo "wine-harness: $dll is missing" >&2; return 1; }
  if [ -f "$standin/.registered" ] && [ "$standin/.registered" -nt "$dll" ] &&
     [ ! "$bare/.wine-version" -nt "$standin/.registered" ]; then
    return 0
  fi
  rm -rf "$standin"
  clone_prefix "$bare" "$standin" || return 1
  WINEPREFIX=$standin "$VX_WINE" regsvr32 /s "$(to_windows_path "$dll")" >/dev/null 2>&1
  WINEPREFIX=$standin "$VX_WINESERVER" -w
  grep -qi 'CLSID\\\\{D27CDB6E-AE6D-11CF-96B8-444553540000}\\\\InprocServer32' "$standin/system.reg" ||
    { echo "wine-harness: regsvr32 did not register $dll" >&2; return 1; }
  touch "$standin/.registered"
}
(
  flock 9
  make_templates
) 9>"$harness_dir/template.lock" || harness_fail "cannot make the template prefix"

if [ "$with_control" = 1 ]; then template=$harness_dir/template-standin; else template=$harness_dir/template-bare; fi

# The private prefix. The copy holds the template lock shared, so no template is
# remade under it.
prefix=$out/prefix
if [ -d "$prefix" ]; then WINEPREFIX=$prefix "$VX_WINESERVER" -k 2>/dev/null; fi
kept=""
if [ "$keep_prefix" = 1 ] && [ -f "$prefix/system.reg" ]; then
  kept=$(mktemp -d "$harness_dir/kept-prefix.XXXXXX") && mv "$prefix" "$kept/prefix" ||
    harness_fail "cannot keep $prefix"
fi
rm -rf "$out"
mkdir -p "$out" || harness_fail "cannot create $out"
if [ -n "$kept" ]; then
  mv "$kept/prefix" "$prefix" && rmdir "$kept" || harness_fail "cannot keep $prefix"
else
  (
    flock -s 9
    clone_prefix "$template" "$prefix"
  ) 9>"$harness_dir/template.lock" || harness_fail "cannot copy the template prefix"
fi
if [ -n "$temp_folder" ]; then
  case "$temp_folder" in [Cc]:\\*) ;; *) harness_fail "--temp-folder takes a path on drive C" ;; esac
  temp_unix=$prefix/drive_c/$(printf '%s' "${temp_folder:3}" | tr '\\' /)
  prefix_folders+=("${temp_unix#"$prefix/drive_c/"}")
fi
for folder in "${prefix_folders[@]+"${prefix_folders[@]}"}"; do
  mkdir -p "$prefix/drive_c/$folder" || harness_fail "cannot make $folder in the prefix"
done

printf '%s\n' "${environment[@]+"${environment[@]}"}" >"$out/.environment"
printf '%s\n' "${keys[@]+"${keys[@]}"}" >"$out/.keys"
printf '%s\0' "${command_1[@]}" >"$out/.command-1"
if [ ${#command_2[@]} -gt 0 ]; then printf '%s\0' "${command_2[@]}" >"$out/.command-2"; else : >"$out/.command-2"; fi

# A server number of our own makes collisions between parallel tests unlikely; -a
# moves on to the next free one when it is taken. Should the X server still fail to
# start (two tests racing for one number), try again: the program has not run yet.
for attempt in 1 2 3; do
  server_num=$((100 + ($$ * 7 + attempt * 131) % 400))
  VXH_OUT=$out VXH_PREFIX=$prefix VXH_TIMEOUT=$timeout_secs \
  VXH_SCREENSHOT_DELAY=$screenshot_delay VXH_SCREENSHOT_PATH=$screenshot_path \
  VXH_WINDOWS_DELAY=$windows_delay VXH_TEMP_FOLDER=$temp_folder \
    xvfb-run -a -n "$server_num" -e "$out/xvfb-error.txt" -s "-screen 0 1024x768x24" \
    bash "$0" --inner
  xvfb_status=$?
  [ -f "$out/stdout.txt" ] && break
  sleep 1
done
# Whatever happened, no Wine process of this prefix outlives the run.
WINEPREFIX=$prefix "$VX_WINESERVER" -k 2>/dev/null

# The temporary folder's contents, relative to it.
: >"$out/temp-listing.txt"
temps=("$prefix"/drive_c/users/*/Temp/"$temp_name")
[ -z "$temp_folder" ] || temps=("$temp_unix")
for temp in "${temps[@]}"; do
  [ -d "$temp" ] || continue
  (cd "$temp" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \) | LC_ALL=C sort) \
    >>"$out/temp-listing.txt"
done

for suffix in "" "-2"; do
  [ -f "$out/stdout$suffix.txt" ] && cat "$out/stdout$suffix.txt"
done
[ -f "$out/exit-code" ] || harness_fail "the program did not run (xvfb-run status $xvfb_status, see $out/xvfb-error.txt)"
status=$(cat "$out/exit-code")
if [ "$status" = 0 ] && [ -f "$out/exit-code-2" ]; then status=$(cat "$out/exit-code-2"); fi
exit "$status"
