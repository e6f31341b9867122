#!/usr/bin/env bash
# Installs, idempotently and without prompts, everything needed to build and test
# Vellumix/Orrinet on a fresh Debian 12 machine. Safe to run again: it only installs
# what is missing.
#
# Windows programs run under Wine: 64-bit Wine (wine64) everywhere, for the win64 test
# build; 32-bit Wine (wine32:i386) only where this machine can run 32-bit programs at
# all, which a tiny 32-bit Linux program tells (some kernels have 32-bit execution
# switched off, and there wine32 cannot start).
set -euo pipefail

pkgs=(
  cmake make g++ pkg-config googletest libgtest-dev zlib1g-dev
  g++-mingw-w64-i686 gcc-mingw-w64-i686 g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine64
  xvfb xauth xdotool imagemagick icoutils fonts-wqy-microhei
  zip unzip p7zip-full python3 python3-pefile openssl osslsigncode
  clang llvm libclang-rt-14-dev locales
  chromium
)
# npm installs Ruffle (package.json); the machine's own Node.js and npm serve where they
# are, Debian's otherwise.
command -v npm >/dev/null 2>&1 || pkgs+=(npm)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# A 32-bit x86 Linux executable of 93 bytes: an ELF header, one program header and
# "mov eax, 1; mov bl, 42; int 0x80", that is exit(42). It exits with 42 exactly where
# the kernel runs 32-bit programs.
runs_32bit_programs() {
  local probe status
  probe=$(mktemp)
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\263\052\315\200' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

# Wine takes a program's code page from the locale: the tests run the programs under
# English and Chinese ones, which must be there.
locales_wanted=(en_US.UTF-8 zh_CN.UTF-8)
ensure_locales() {
  local wanted have=() missing=()
  mapfile -t have < <(locale -a 2>/dev/null | tr 'A-Z' 'a-z')
  for wanted in "${locales_wanted[@]}"; do
    local short
    short=$(printf '%s' "${wanted%%.*}.utf8" | tr 'A-Z' 'a-z')
    printf '%s\n' "${have[@]}" | grep -qxF "$short" || missing+=("$wanted")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "bootstrap: generating the locales ${missing[*]}"
  for wanted in "${missing[@]}"; do
    grep -q "^$wanted UTF-8" /etc/locale.gen 2>/dev/null || echo "$wanted UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  done
  $SUDO locale-gen >/dev/null
}

# Ruffle, for `vellumix-cli export --web`: exactly what package-lock.json pins (integrity
# hashes included), into node_modules/ of the checkout, again only when the lock changed.
ensure_ruffle() {
  local root lock_sum stamp
  root=$(cd "$(dirname "$0")/.." && pwd)
  lock_sum=$(sha256sum "$root/package-lock.json" | cut -d' ' -f1)
  stamp=$root/node_modules/.vellumix-lock
  [ "$(cat "$stamp" 2>/dev/null)" != "$lock_sum" ] || return 0
  echo "bootstrap: npm ci (Ruffle)"
  (cd "$root" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  echo "$lock_sum" >"$stamp"
}

need_update=0
if runs_32bit_programs; then
  pkgs+=(wine32:i386)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need_update=1
  fi
else
  echo "bootstrap: this machine does not run 32-bit programs: no wine32 (Windows tests use the win64 build)"
fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$need_update" = 0 ]; then
  ensure_locales
  ensure_ruffle
  echo "bootstrap: everything is installed"
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
ensure_locales
ensure_ruffle
echo "bootstrap: done"
