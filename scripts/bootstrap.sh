#!/usr/bin/env bash
# Installs, idempotently and without prompts, everything needed to build and test
# Vellumix/Orrinet on a fresh Debian 12 machine. Safe to run again: it only installs
# what is missing.
set -euo pipefail

pkgs=(
  cmake make g++ pkg-config googletest libgtest-dev zlib1g-dev
  g++-mingw-w64-i686 gcc-mingw-w64-i686 libz-mingw-w64-dev
  wine wine32:i386
  xvfb xauth xdotool imagemagick icoutils fonts-wqy-microhei
  zip unzip p7zip-full python3
  clang llvm libclang-rt-14-dev
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: everything is installed"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "bootstrap: done"
