#!/bin/sh
# Exit 0 when Windows programs of ARCH can run under Wine on this machine, 1 when not.
#
#   wine-runs.sh ARCH       ARCH: win32, win64 or a Windows build folder
. "$(dirname "$0")/wine-env.sh"
vx_wine_runs "${1:?usage: wine-runs.sh ARCH}"
