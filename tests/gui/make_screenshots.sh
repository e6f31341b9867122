#!/bin/bash
# Screenshots of the packager's main window for the documentation, in English and in
# Simplified Chinese: docs/packager-en.png and docs/packager-zh.png.
#
#   tests/gui/make_screenshots.sh [WINDOWS_BUILD_DIR]
#
# The default build is build/win32 where this machine runs 32-bit programs, else
# build/win64 (testing/wine-env.sh, vx_windows_build).
#
# The window is driven by gui_driver (a main movie, three listed files, one selected)
# under Wine on a private X server and captured from the screen. The Chinese texts need
# a CJK font on the machine (fonts-wqy-microhei, installed by scripts/bootstrap.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/testing/wine-env.sh"
build=$(realpath -- "${1:-$root/$(cd "$root" && vx_windows_build)}")
for lang in en zh; do
  locale=en_US.UTF-8
  [ "$lang" = zh ] && locale=zh_CN.UTF-8
  work=$build/gui-tests/screenshot-$lang
  bmp=$work-window.bmp
  rm -f "$bmp"
  "$here/run_gui_test.sh" --env "LANG=$locale" --env "LC_ALL=$locale" "$build" "screenshot-$lang" screenshot \
    "Z:${bmp//\//\\}"
  convert "$bmp" -strip "$root/docs/packager-$lang.png"
  echo "docs/packager-$lang.png"
done
