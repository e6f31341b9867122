#!/bin/bash
# Runs one scenario of gui_driver.exe against the real Vellumix.exe under Wine on a
# private X server (testing/wine-harness.sh).
#
#   run_gui_test.sh [--env NAME=VALUE]... [--driver EXE] BUILD_DIR TEST_NAME SCENARIO [ARGS...]
#
# The driver (default gui_driver.exe; bench/gui_bench.sh runs gui_bench_driver.exe) is
# a program of the build's bin folder. It gets the build's bin folder and a work folder of its own
# (BUILD_DIR/gui-tests/TEST_NAME/scratch dir.ü: a blank, a dot and a letter beyond
# ASCII, as users' folders often hold) as Windows paths.
set -u
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# English unless the caller asks for another language (later --env values win).
harness_args=(--env LANG=en_US.UTF-8 --env LC_ALL=en_US.UTF-8)
driver=gui_driver.exe
while [ "${1:-}" = "--env" ] || [ "${1:-}" = "--driver" ]; do
  if [ "$1" = "--env" ]; then harness_args+=(--env "$2"); else driver=$2; fi
  shift 2
done
build=$(realpath -- "${1:?usage: run_gui_test.sh [--env N=V]... [--driver EXE] BUILD_DIR TEST_NAME SCENARIO [ARGS...]}")
name=${2:?}
scenario=${3:?}
shift 3

winpath() {
  local p
  p=$(realpath -m -- "$1")
  printf 'Z:%s' "${p//\//\\}"
}

rm -rf "${build:?}/gui-tests/$name"
work="$build/gui-tests/$name/scratch dir.ü"
mkdir -p "$work"
# Bash reads a script as it runs it: a private copy of the harness keeps a run whole
# while the tree's copy is being edited.
harness=$build/gui-tests/$name.harness
rm -rf "$harness"
mkdir -p "$harness/testing"
cp "$source_dir/testing/wine-harness.sh" "$source_dir/testing/wine-prefix.sh" "$source_dir/testing/wine-env.sh" \
  "$harness/testing/"
exec bash "$harness/testing/wine-harness.sh" --no-control --timeout "${VX_GUI_TIMEOUT:-300}" "${harness_args[@]}" \
  "$build" "gui-$name" "$build/bin/$driver" "$scenario" "$(winpath "$build/bin")" "$(winpath "$work")" "$@"
