#!/usr/bin/env bash
# Builds the release packages of this commit into dist/:
#   mesupdate-VERSION-win32.zip           mesupdate.exe, mesarc.exe, README.txt
#                                         (players' guide), LICENSE.txt
#   mesupdate-VERSION-linux-x86_64.tar.gz bin/mesupdate, bin/mesarc,
#                                         share/applications/mesupdate.desktop,
#                                         share/doc/mesupdate/{README.md,LICENSE}
#   SHA256SUMS                            check with: cd dist && sha256sum -c SHA256SUMS
# The version is the one in CMakeLists.txt. Every date inside the packages is
# the last commit's, so a rebuild of the same commit gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "warning: the working tree has uncommitted changes; the packages hold them" >&2

rm -rf dist
mkdir -p dist
# preset, then the targets the package holds (the win32 product tree builds
# the shipped programs without the tests).
package() {
  local preset=$1
  shift
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target "$@" >/dev/null
  rm -rf "build/$preset/package"
  (cd "build/$preset" && cpack -B package >/dev/null)
  cp build/"$preset"/package/mesupdate-*.* dist/
}
package win32 mes_product
package native-release mesupdate mesarc

(cd dist && sha256sum mesupdate-* >SHA256SUMS && sha256sum -c SHA256SUMS)
ls -l dist
