#!/usr/bin/env bash
# Prints the newest glibc and libstdc++ symbol versions the Linux programs
# named need, as "glibc 2.NN, GLIBCXX_3.4.NN": the oldest system they run on.
# Usage: scripts/linux_needs.sh PROGRAM...
set -euo pipefail
newest() {
  readelf --version-info --wide "$@" | grep -oE "Name: $prefix[0-9.]+" | sed "s/Name: $prefix//" |
    sort -t. -k1,1n -k2,2n -k3,3n | tail -1
}
prefix=GLIBC_ glibc=$(newest "$@")
prefix=GLIBCXX_ glibcxx=$(newest "$@")
echo "glibc $glibc, GLIBCXX_$glibcxx"
