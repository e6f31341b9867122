#!/usr/bin/env bash
# vellumix-cli build of the 64 MB benchmark corpus against vellumix-cli pack of the same
# files with the package password, in the same run. The build does the pack's work plus
# the description file, the stub copy, the resource update and the copy to the output,
# which should add little: ratio build / pack at most 1.1 (processor time, see below).
#
# Memory: the builder holds the archive whole while it hands it to the resource update
# (which keeps it in a scratch file, not in memory): peak resident memory of the build
# at most the archive's size + 16 MiB.
#
# Uses build/host unless VX_BUILD_DIR names another build folder; the stub is the win32
# build's Orrinet.exe, else the builder tests' stand-in stub.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VX_BUILD_DIR:-build/host}
cli=$build/bin/vellumix-cli
[ -x "$cli" ] || cmake --build "$build" --target vellumix-cli >/dev/null
stub=build/win32/bin/Orrinet.exe
if [ ! -f "$stub" ]; then
  stub=$build/tests/packager/stub/vx_test_stub.exe
  [ -f "$stub" ] || cmake --build "$build" --target vx_test_stub_host >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The ZIP benchmark's 64 MB corpus (half text and XML, half random bytes, 1 KB to 16 MB),
# made by its generator and kept in build/bench between runs.
mapfile -t files < <(python3 -c "
import sys
sys.path.insert(0, 'bench')
import zip_bench
print('\n'.join(zip_bench.make_corpus('build/bench/corpus')))")
main=${files[0]}
rest=("${files[@]:1}")
total=$(du -cb "${files[@]}" | tail -1 | cut -f1)

# Best of 5 rounds, the two commands taking turns so that both meet the same load. The
# ratio is taken on processor time (user + system): on a machine shared with other jobs
# the wall time mostly measures the neighbours. Wall times are shown for orientation;
# peak resident memory (KiB) is the largest seen.
pack_cpu=1e30; build_cpu=1e30; pack_wall=1e30; build_wall=1e30; pack_kib=0; build_kib=0
measure() {  # prints "WALL CPU KIB"
  /usr/bin/time -o "$work/time" -f "%e %U %S %M" "$@" >/dev/null
  tail -1 "$work/time" | awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }'
}
for _ in 1 2 3 4 5; do
  read -r wall cpu kib < <(measure "$cli" pack --password 'Rvd%q!KJEb' "$work/pack.zip" "${files[@]}")
  pack_cpu=$(python3 -c "print(min($pack_cpu, $cpu))"); pack_wall=$(python3 -c "print(min($pack_wall, $wall))")
  pack_kib=$(( kib > pack_kib ? kib : pack_kib ))
  read -r wall cpu kib < <(measure "$cli" build --stub "$stub" --main "$main" -o "$work/show.exe" "${rest[@]}")
  build_cpu=$(python3 -c "print(min($build_cpu, $cpu))"); build_wall=$(python3 -c "print(min($build_wall, $wall))")
  build_kib=$(( kib > build_kib ? kib : build_kib ))
done
archive=$(stat -c %s "$work/pack.zip")
ratio=$(python3 -c "print('%.3f' % ($build_cpu / max($pack_cpu, 0.01)))")
limit_kib=$(( archive / 1024 + 16 * 1024 ))

echo "build: corpus $((total / 1024 / 1024)) MiB in ${#files[@]} files, archive $((archive / 1024 / 1024)) MiB"
echo "build: processor time: vellumix-cli build ${build_cpu}s, vellumix-cli pack ${pack_cpu}s, ratio $ratio (limit 1.1)"
echo "build: wall time (orientation): build ${build_wall}s, pack ${pack_wall}s"
echo "build: peak memory build ${build_kib} KiB, pack ${pack_kib} KiB, limit ${limit_kib} KiB (archive + 16 MiB)"
fail=0
python3 -c "import sys; sys.exit(0 if $ratio <= 1.1 else 1)" || { echo "build: FAIL ratio"; fail=1; }
[ "$build_kib" -le "$limit_kib" ] || { echo "build: FAIL memory"; fail=1; }
"$cli" inspect "$work/show.exe" >/dev/null || { echo "build: FAIL the package does not inspect cleanly"; fail=1; }
exit $fail
