#!/bin/sh
# Creates (or re-creates) a private Wine prefix for tests: no Mono or Gecko
# installers, no window-manager waits under Xvfb. Safe to call from parallel tests:
# the first caller builds the prefix under a lock, the others wait for it.
#
#   wine-prefix.sh ARCH PREFIX [--fresh]
#
# ARCH is win32, win64 or a Windows build folder (whose architecture it takes).
set -eu
usage="usage: wine-prefix.sh ARCH PREFIX [--fresh]"
. "$(dirname "$0")/wine-env.sh"
vx_wine_env "${1:?$usage}"
prefix=${2:?$usage}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
export WINEPREFIX="$prefix"
if [ "${3:-}" = "--fresh" ]; then
  "$VX_WINESERVER" -k 2>/dev/null || true
  rm -rf "$prefix"
fi
# A prefix of the other architecture is of no use: Wine refuses to run in it.
if [ -f "$prefix/system.reg" ] && [ "$(cat "$prefix/.vx-arch" 2>/dev/null)" != "$WINEARCH" ]; then
  "$VX_WINESERVER" -k 2>/dev/null || true
  rm -rf "$prefix"
fi
if [ ! -f "$prefix/system.reg" ]; then
  "$VX_WINE" wineboot --init >/dev/null 2>&1 || true
  # Without a window manager Wine waits about 2 s on every hide unless windows are unmanaged.
  "$VX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  "$VX_WINESERVER" -w
  printf '%s\n' "$WINEARCH" >"$prefix/.vx-arch"
fi
test -f "$prefix/system.reg"
