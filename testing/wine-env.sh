# Sourced by every script that starts Wine: picks the Wine loader and server for one
# Windows architecture.
#
#   . testing/wine-env.sh
#   vx_wine_env ARCH          ARCH: win32, win64, or a build folder (its file wine-arch,
#                             written by CMake, names the architecture)
#   "$VX_WINE" program.exe    start a program; "$VX_WINESERVER" -k ends the prefix
#   vx_wine_runs ARCH         true when Wine for ARCH is installed and starts here
#
# The loaders are called directly. Debian's `wine` wrapper always takes the 32-bit
# loader when it is installed, whatever the prefix, and that loader does not start at
# all where the kernel runs no 32-bit programs. One server serves both kinds of
# prefix. VX_WINE32, VX_WINE64 and VX_WINESERVER name other programs where Wine is
# not laid out as Debian lays it out; VX_WINE32=none acts as a machine without
# 32-bit Wine.

vx_wine_find() {  # vx_wine_find CANDIDATE... : the first executable one
  for candidate in "$@"; do
    case "$candidate" in
      /*) [ -x "$candidate" ] && { printf '%s\n' "$candidate"; return 0; } ;;
      ?*) command -v "$candidate" 2>/dev/null && return 0 ;;
    esac
  done
  return 1
}

vx_wine_pick() {  # vx_wine_pick OVERRIDE CANDIDATE... : the override alone when it is set
  if [ -n "$1" ]; then vx_wine_find "$1"; else shift; vx_wine_find "$@"; fi
}

vx_wine_arch_of() {  # vx_wine_arch_of ARCH_OR_BUILD_DIR: prints win32 or win64
  case "$1" in
    win32 | win64) printf '%s\n' "$1" ;;
    *)
      if [ -f "$1/wine-arch" ]; then
        cat "$1/wine-arch"
      else
        echo "wine-env: $1 is neither win32, win64 nor a Windows build folder (no wine-arch file)" >&2
        return 1
      fi
      ;;
  esac
}

vx_wine_env() {
  vx_arch=$(vx_wine_arch_of "${1:?vx_wine_env needs win32, win64 or a build folder}") || return 1
  case "$vx_arch" in
    win64)
      VX_WINE=$(vx_wine_pick "${VX_WINE64:-}" /usr/lib/wine/wine64 wine64) ||
        { echo "wine-env: no 64-bit Wine loader (install wine64)" >&2; return 1; }
      ;;
    win32)
      VX_WINE=$(vx_wine_pick "${VX_WINE32:-}" /usr/lib/wine/wine) ||
        { echo "wine-env: no 32-bit Wine loader (install wine32:i386)" >&2; return 1; }
      ;;
    *)
      echo "wine-env: unknown architecture '$vx_arch'" >&2
      return 1
      ;;
  esac
  VX_WINESERVER=$(vx_wine_pick "${VX_WINESERVER:-}" /usr/lib/wine/wineserver64 \
    /usr/lib/wine/wineserver32 wineserver) || { echo "wine-env: no wineserver" >&2; return 1; }
  # Wine starts further processes (regsvr32, a package started by the packager) with
  # WINELOADER and finds its server through WINESERVER.
  WINEARCH=$vx_arch
  WINELOADER=$VX_WINE
  WINESERVER=$VX_WINESERVER
  export WINEARCH WINELOADER WINESERVER VX_WINE VX_WINESERVER
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

# The Windows build folder (under the source tree's build/) whose programs run here:
# VX_WINDOWS_BUILD when set, else the shipped win32 build where 32-bit programs run,
# else the win64 test build.
vx_windows_build() {
  if [ -n "${VX_WINDOWS_BUILD:-}" ]; then
    printf '%s\n' "$VX_WINDOWS_BUILD"
  elif vx_wine_runs win32; then
    echo build/win32
  else
    echo build/win64
  fi
}

# Whether Windows programs of ARCH (win32, win64 or a build folder) can run here: the
# loader is installed and the kernel runs it. Found out by starting the loader once,
# not from the kernel version: 32-bit Linux programs may be switched off.
vx_wine_runs() {
  (vx_wine_env "$1" 2>/dev/null && "$VX_WINE" --version >/dev/null 2>&1)
}
