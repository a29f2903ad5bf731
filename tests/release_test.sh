#!/usr/bin/env bash
# The release from two copies of the sources in different folders: the same bytes; the zips hold the
# exe, read-me and licence and match SHA256SUMS; and a changed version header reaches the rebuilt exe.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
copy() {
    mkdir -p "$1"
    git ls-files --cached --others --exclude-standard -z | xargs -0 -I{} sh -c '[ -e "$1" ] || exit 0; mkdir -p "$2/$(dirname "$1")"; cp -p "$1" "$2/$1"' _ {} "$1"
}
copy "$work/a/SAPI5Quillfen"
copy "$work/elsewhere/deeper/src"
"$work/a/SAPI5Quillfen/scripts/release" --out "$work/dist-a" >/dev/null
"$work/elsewhere/deeper/src/scripts/release" --build "$work/other-build" --out "$work/dist-b" >/dev/null

fail() { echo "release_test: $*" >&2; exit 1; }
cmp "$work/dist-a/SHA256SUMS" "$work/dist-b/SHA256SUMS" || fail "two builds of the same sources differ"
for arch in x64 x86; do
    cmp "$work/a/SAPI5Quillfen/build/release/$arch/SAPI5Quillfen.exe" "$work/other-build/$arch/SAPI5Quillfen.exe" ||
        fail "the $arch exes differ"
done
(cd "$work/dist-a" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zips"
mkdir "$work/unpacked"
python3 -m zipfile -e "$work/dist-a/SAPI5Quillfen-1.0.0.1-x64.zip" "$work/unpacked"
for file in SAPI5Quillfen.exe ReadMe.txt License.txt; do
    [[ -s $work/unpacked/$file ]] || fail "$file is missing from the zip"
done
cmp "$work/unpacked/SAPI5Quillfen.exe" "$work/other-build/x64/SAPI5Quillfen.exe" || fail "the zip holds another exe"

# An incremental build follows a change in a file the .rc only includes.
src=$work/a/SAPI5Quillfen
sed -i 's/"1\.00\.0001"/"9.99.0009"/' "$src/resources/version.h"
cmake --build "$src/build/release/x64" --target SAPI5Quillfen >/dev/null
strings -el "$src/build/release/x64/SAPI5Quillfen.exe" | grep -qx '9.99.0009' || fail "the rebuilt exe kept its old version block"
echo "release_test: passed"
