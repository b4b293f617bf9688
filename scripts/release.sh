#!/usr/bin/env bash
# Builds the release packages of this commit into dist/:
#   mesupdate-VERSION-win32.zip           mesupdate.exe, mesarc.exe, README.txt
#                                         (players' guide), LICENSE.txt,
#                                         THIRD-PARTY-NOTICES.txt
#   mesupdate-VERSION-linux-x86_64.tar.gz bin/mesupdate, bin/mesarc, the
#                                         desktop entry, share/doc/mesupdate/
#                                         {README.md,LICENSE,players-guide.txt,
#                                         THIRD-PARTY-NOTICES}
#   BUILDINFO                             version, commit, tag, toolchain, the
#                                         programs' figures and Linux needs
#   SHA256SUMS                            check with: cd dist && sha256sum -c SHA256SUMS
# The version is the one in CMakeLists.txt, the commit the checked-out one.
# Every date inside the packages is the last commit's, so a rebuild of the
# same commit gives the same files.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install_deps.sh

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
[ -z "$(git status --porcelain --untracked-files=no)" ] ||
  echo "warning: the working tree has uncommitted changes; the packages hold them" >&2

version=$(sed -nE 's/^project\(mesupdate VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
commit=$(git rev-parse HEAD)
git diff --quiet HEAD -- || commit=$commit-modified

package_version() { dpkg-query -W -f '${Version}' "$1" 2>/dev/null || echo "not installed"; }

# What a player or a packager needs to rebuild the same bytes and to know
# where the Linux programs run.
write_buildinfo() {
  echo "mesupdate $version"
  echo "commit $commit"
  echo "tag $(git describe --tags --exact-match 2>/dev/null || echo none)"
  echo "source date $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)"
  echo "built on $(. /etc/os-release && echo "$PRETTY_NAME") with:"
  local package
  for package in g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 g++-12 \
                 libcli11-dev libyaml-cpp-dev cmake; do
    echo "  $package $(package_version "$package")"
  done
  echo "Windows programs:"
  bash scripts/exe_figures.sh build/win32/bin/mesupdate.exe build/win32/bin/mesarc.exe | sed 's/^/  /'
  echo "Linux programs need: $(bash scripts/linux_needs.sh build/native-release/bin/mesupdate \
    build/native-release/bin/mesarc)"
}

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

write_buildinfo >dist/BUILDINFO
(cd dist && sha256sum BUILDINFO mesupdate-* >SHA256SUMS && sha256sum -c SHA256SUMS)
ls -l dist
