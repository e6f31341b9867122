#!/bin/sh
# Creates (or re-creates) a private 32-bit Wine prefix for tests: no Mono or Gecko
# installers, no window-manager waits under Xvfb. Safe to call from parallel tests:
# the first caller builds the prefix under a lock, the others wait for it.
set -eu
prefix=${1:?usage: wine-prefix.sh PREFIX [--fresh]}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ "${2:-}" = "--fresh" ]; then
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
fi
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
  # Without a window manager Wine waits about 2 s on every hide unless windows are unmanaged.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
  wineserver -w
fi
test -f "$prefix/system.reg"
