#!/usr/bin/env bash
# Installs what building and testing both targets needs on a fresh Debian 12
# machine: as root through apt; otherwise names the missing packages and stops.
set -euo pipefail

packages=(
  cmake make g++ googletest file python3 locales
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick fonts-ipafont-gothic
  clang libclang-rt-14-dev libcli11-dev
)

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root:" >&2
    echo "  dpkg --add-architecture i386 && apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  dpkg --add-architecture i386
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# Wine needs this locale for code page 932 (Japanese command-line arguments).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing locale ja_JP.UTF-8: as root run 'localedef -i ja_JP -f UTF-8 ja_JP.UTF-8'" >&2
    exit 1
  fi
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
