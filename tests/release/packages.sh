#!/usr/bin/env bash
# Builds the release packages (scripts/release.sh) and checks what a player or
# a packager finds in them: the shipped programs, the guides and notices, the
# zip's texts with Windows line ends, a BUILDINFO and --version naming this
# commit, and the glibc and libstdc++ the README states the Linux programs need.
# Usage: tests/release/packages.sh      Ends with "packages: N passed, M failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
suite=packages
source "$root/tests/release/check_lib.sh"

mkdir -p build
if ! bash scripts/release.sh >build/release.log 2>&1; then
  tail -30 build/release.log
  check "scripts/release.sh" false
  finish
fi
version=$(sed -nE 's/^project\(mesupdate VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
zip=dist/mesupdate-$version-win32.zip
tarball=dist/mesupdate-$version-linux-x86_64.tar.gz
commit=$(git rev-parse HEAD)
git diff --quiet HEAD -- || commit=$commit-modified
work=$(mktemp -d /tmp/mesupdate-packages.XXXXXX)
trap 'rm -rf "$work"' EXIT
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work"
tar -C "$work" -xzf "$tarball"
win=$work/mesupdate-$version-win32
linux=$work/mesupdate-$version-linux-x86_64

has_files() {
  local folder=$1 file
  shift
  for file in "$@"; do
    [ -f "$folder/$file" ] || { echo "  missing $file"; return 1; }
  done
}
# Every line ends in CR LF, and there is at least one line.
crlf_only() { [ -s "$1" ] && ! grep -q $'[^\r]$' "$1" && ! grep -q $'^$' "$1"; }
names_commit() { grep -qF "commit $commit" <<<"$1"; }
# The README and the players' guide say what the Linux programs need.
needs=$(bash scripts/linux_needs.sh "$linux/bin/mesupdate" "$linux/bin/mesarc")
stated() { grep -qF "$(sed -E 's/glibc ([0-9.]+), (GLIBCXX_[0-9.]+)/glibc \1/' <<<"$needs")" "$1" &&
           grep -qF "${needs##*, }" "$1"; }

check "the zip holds the programs, the guide, the licence and the notices" \
  has_files "$win" mesupdate.exe mesarc.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt
check "the zip's mesupdate.exe is the one the tests ran" cmp -s "$win/mesupdate.exe" build/win32/bin/mesupdate.exe
for text in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  check "the zip's $text has Windows line ends" crlf_only "$win/$text"
done
check "the tarball holds the programs, the desktop entry, the guides and the notices" \
  has_files "$linux" bin/mesupdate bin/mesarc share/applications/mesupdate.desktop \
  share/doc/mesupdate/README.md share/doc/mesupdate/LICENSE \
  share/doc/mesupdate/players-guide.txt share/doc/mesupdate/THIRD-PARTY-NOTICES
names_both() { grep -q CLI11 "$1" && grep -q yaml-cpp "$1"; }
check "the notices name CLI11 and yaml-cpp" names_both "$linux/share/doc/mesupdate/THIRD-PARTY-NOTICES"
check "BUILDINFO names the commit" names_commit "$(cat dist/BUILDINFO)"
check "SHA256SUMS covers BUILDINFO and both packages" \
  bash -c 'cd dist && sha256sum -c SHA256SUMS >/dev/null && [ "$(wc -l <SHA256SUMS)" -eq 3 ]'
check "mesupdate --version names the commit" names_commit "$("$linux/bin/mesupdate" --version)"
check "mesarc --version names the commit" names_commit "$("$linux/bin/mesarc" --version)"
echo "  the Linux programs need $needs"
check "the README states what the Linux programs need ($needs)" stated README.md
check "the players' guide states it too" stated docs/players-guide.txt
finish
