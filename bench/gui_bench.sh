#!/usr/bin/env bash
# The packager's window during a long build: gui_bench_driver builds a package of 64 MiB of
# incompressible data (the slowest input for the compressor) through the real window
# under Wine and Xvfb, and asks the window every 20 ms to answer a message
# (SendMessageTimeout with WM_NULL). Reported: the worst answer time (limit 100 ms) and
# the build's wall time against the same build by vellumix-cli.exe under Wine in the
# same run (the peer: the builder without a window), ratio limit 1.25.
#
# Then one Add of 200 movies (VX_GUI_BENCH_FILES) through the Add dialog: the time from
# OK in the dialog to the 200th row (limit 2 s), beside the same movies read by
# `vellumix-cli.exe swf-info` under Wine in the same run (the peer: the header reads
# without the window, Wine's process start included).
#
# Uses build/win32 where 32-bit programs run, else build/win64, unless VX_WINDOWS_BUILD
# names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
. testing/wine-env.sh
build=$(realpath -- "$(vx_windows_build)")
vx_wine_env "$build"
megabytes=${VX_GUI_BENCH_MB:-64}
for f in Vellumix.exe Orrinet.exe vellumix-cli.exe gui_bench_driver.exe; do
  [ -f "$build/bin/$f" ] || { echo "gui_bench: $build/bin/$f is missing (make build)" >&2; exit 1; }
done

out=$(tests/gui/run_gui_test.sh --driver gui_bench_driver.exe "$build" bench responsiveness "$megabytes" 2>/dev/null |
  grep '^responsiveness')
window_s=$(sed -n 's/.*build_seconds=\([0-9.]*\).*/\1/p' <<<"$out")
worst_ms=$(sed -n 's/.*worst_ms=\([0-9.]*\).*/\1/p' <<<"$out")
samples=$(sed -n 's/.*samples=\([0-9]*\).*/\1/p' <<<"$out")

# The peer: the same files built by the command-line builder under Wine.
data="$build/gui-tests/bench/scratch dir.ü/data"  # tests/gui/run_gui_test.sh's work folder
prefix=$build/wineprefix
testing/wine-prefix.sh "$build" "$prefix"
winpath() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
export WINEPREFIX=$prefix
"$VX_WINE" "$build/bin/vellumix-cli.exe" --help >/dev/null 2>&1 || true   # start the wineserver first
start=$(date +%s.%N)
(cd "$data" && "$VX_WINE" "$build/bin/vellumix-cli.exe" build --main intro.swf --stub "$(winpath "$build/bin/Orrinet.exe")" \
  -o "$(winpath "$build/gui-tests/bench/peer.exe")" corpus.bin >/dev/null)
end=$(date +%s.%N)
peer_s=$(python3 -c "print(f'{$end - $start:.2f}')")
ratio=$(python3 -c "print(f'{$window_s / $peer_s:.2f}')")
echo "gui: ${megabytes} MiB build through the window ${window_s} s, vellumix-cli.exe ${peer_s} s, ratio ${ratio} (limit 1.25)"
echo "gui: window answered ${samples} messages during the build, worst ${worst_ms} ms (limit 100 ms)"

# Adding many files at once.
files=${VX_GUI_BENCH_FILES:-200}
out=$(tests/gui/run_gui_test.sh --driver gui_bench_driver.exe "$build" bench-add addmany "$files" 2>/dev/null |
  grep '^addmany')
add_s=$(sed -n 's/.*\tseconds=\([0-9.]*\).*/\1/p' <<<"$out")
dialog_s=$(sed -n 's/.*\tdialog_seconds=\([0-9.]*\).*/\1/p' <<<"$out")
rows=$(sed -n 's/.*rows=\([0-9]*\).*/\1/p' <<<"$out")
start=$(date +%s.%N)
(cd "$build/gui-tests/bench-add/scratch dir.ü/data/bench" && "$VX_WINE" "$build/bin/vellumix-cli.exe" swf-info *.swf >/dev/null)
end=$(date +%s.%N)
info_s=$(python3 -c "print(f'{$end - $start:.2f}')")
echo "gui: one Add of ${files} movies: ${rows} rows ${add_s} s after OK (dialog closed after ${dialog_s} s; limit 2 s);" \
  "vellumix-cli.exe swf-info on them ${info_s} s"
python3 -c "import sys; sys.exit(0 if $worst_ms <= 100 and $ratio <= 1.25 and $rows == $files and $add_s <= 2 else 1)" ||
  { echo "gui: over the limit"; exit 1; }
