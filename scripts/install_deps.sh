#!/usr/bin/env bash
# Installs what building and testing both targets needs on a fresh Debian 12
# machine: as root through apt; otherwise names the missing packages and stops.
# Usage: scripts/install_deps.sh [demo]
#   (none)  everything scripts/test.sh and scripts/release.sh need
#   demo    only what scripts/demo.sh needs: the Linux build of both tools
set -euo pipefail

selection=${1:-all}
case "$selection" in
  demo)
    # The Linux build configures its tests too (googletest) unless told not to;
    # the demo turns them off, so a compiler, CMake, CLI11 and yaml-cpp (the
    # Lutris game files) are enough.
    packages=(cmake make g++ libcli11-dev libyaml-cpp-dev)
    ;;
  all)
    packages=(
      cmake make g++ googletest file python3 locales
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 qemu-user-static
      wine wine32:i386 wine64 xvfb x11-utils xdotool imagemagick fonts-ipafont-gothic zenity
      clang libclang-rt-14-dev libcli11-dev libyaml-cpp-dev libbenchmark-dev strace
    )
    ;;
  *)
    echo "usage: $0 [demo]" >&2
    exit 2
    ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done

# wine32 is an i386 package: that architecture only when it is asked for.
add_i386=
[[ " ${missing[*]} " == *:i386* ]] && add_i386="dpkg --add-architecture i386 && "

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them as root:" >&2
    echo "  ${add_i386}apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  [ -z "$add_i386" ] || dpkg --add-architecture i386
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

# The demo prints through iconv (glibc's own converters): no locales needed.
[ "$selection" = demo ] && exit 0

# Wine takes its ANSI code page from the locale: ja_JP gives 932 (and keeps
# Japanese command-line arguments intact); the others are the non-Japanese
# systems the updater must also serve.
for wanted in ja_JP.UTF-8 en_US.UTF-8 ru_RU.UTF-8; do
  if ! locale -a 2>/dev/null | grep -qix "$(sed 's/UTF-8/utf-\\?8/' <<<"$wanted")"; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "Missing locale $wanted: as root run 'localedef -i ${wanted%%.*} -f UTF-8 $wanted'" >&2
      exit 1
    fi
    localedef -i "${wanted%%.*}" -f UTF-8 "$wanted"
  fi
done
