#!/usr/bin/env bash
# The release from two copies of the sources in different folders: the same bytes; the zips hold the
# exe, read-me and licence and match SHA256SUMS; a signed release verifies, gives the unsigned exe back
# without its signature, and scripts/verify-release accepts it and nothing else, nor vouches for what it
# did not check; a rebuild elsewhere installs exactly the recorded packages that differ; the winget and
# Scoop manifests name the zips as built, validate, and are refused for submission while they hold
# placeholders; and a changed version header reaches the rebuilt exe.
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
# The first copy is a repository of its own, whose one commit scripts/verify-release can build.
git -C "$work/a/SAPI5Quillfen" init --quiet
git -C "$work/a/SAPI5Quillfen" add -A
git -C "$work/a/SAPI5Quillfen" -c user.name=test -c user.email=test@example.invalid commit --quiet -m sources
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

# Signed with a throwaway code-signing certificate whose key has a password.
src=$work/a/SAPI5Quillfen
openssl req -x509 -newkey rsa:2048 -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 -nodes \
    -subj "/CN=SAPI 5 Quillfen test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
printf 'pass word' >"$work/password"
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -out "$work/signer.pfx" -passout "file:$work/password"
"$src/scripts/release" --sign "$work/signer.pfx" --password-file "$work/password" --out "$work/signed" >/dev/null
# The password may come from the environment instead, and reaches the signing of both exes.
QUILLFEN_SIGN_PASSWORD='pass word' "$src/scripts/release" --sign "$work/signer.pfx" --out "$work/signed-env" >/dev/null
[[ -f $work/signed-env/SAPI5Quillfen-1.0.0.1-x86.exe.p7s ]] || fail "signing with the password from the environment failed"
python3 -m zipfile -e "$work/signed/SAPI5Quillfen-1.0.0.1-x64.zip" "$work/signed-x64"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-x64/SAPI5Quillfen.exe" >/dev/null 2>&1 ||
    fail "the signed exe does not verify against its certificate"
osslsigncode remove-signature -in "$work/signed-x64/SAPI5Quillfen.exe" -out "$work/unsigned.exe" >/dev/null
cmp "$work/unsigned.exe" "$src/build/release/x64/SAPI5Quillfen.exe" || fail "without its signature the exe is not the unsigned one"

verify() { (cd "$work/elsewhere" && "$src/scripts/verify-release" "$1" 2>&1); }
verify "$work/signed" >"$work/verified" || fail "verify-release rejects the signed release: $(cat "$work/verified")"
[[ $(grep -c '^OK ' "$work/verified") == 2 ]] || fail "verify-release did not say OK for both zips: $(cat "$work/verified")"
# The tag's commit or nothing: a record of another commit is refused in one line naming both, unbuilt.
other=$(git -C "$src" commit-tree "HEAD^{tree}" -p HEAD -m other)
git -C "$src" tag v-other "$other"
(cd "$work/elsewhere" && "$src/scripts/verify-release" --tag v-other "$work/signed" >/dev/null 2>"$work/message") &&
    fail "verify-release vouches for a tag whose commit its record does not name"
[[ $(wc -l <"$work/message") == 1 ]] && grep -q "$other" "$work/message" &&
    grep -q "$(git -C "$src" rev-parse HEAD)" "$work/message" || fail "the other commit is not refused as it should be: $(cat "$work/message")"
# Checked alone, before a rebuild installs anything: the tag's own record passes, saved with CRLF too.
git -C "$src" tag v-this HEAD
cp -r "$work/signed" "$work/crlf"
sed -i 's/$/\r/' "$work/crlf/BUILD-RECORD.txt"
(cd "$work/elsewhere" && "$src/scripts/verify-release" --tag v-this --check-only "$work/crlf" >"$work/message" 2>&1) &&
    grep -q "names commit $(git -C "$src" rev-parse HEAD), which tag v-this is" "$work/message" ||
    fail "the tag's own record, with CRLF line ends, is not taken: $(cat "$work/message")"
cp -r "$work/signed" "$work/changed"
printf '\x01' | dd of="$work/changed/SAPI5Quillfen-1.0.0.1-x86.zip" bs=1 seek=4000 conv=notrunc status=none
(cd "$work/changed" && sha256sum SAPI5Quillfen-*.zip >SHA256SUMS)
verify "$work/changed" >"$work/verified" && fail "verify-release accepts a zip with one byte changed"
grep -q '^MISMATCH SAPI5Quillfen-1.0.0.1-x86.zip' "$work/verified" || fail "no mismatch named: $(cat "$work/verified")"
cp -r "$work/signed" "$work/swapped"
cp "$work/signed/SAPI5Quillfen-1.0.0.1-x86.exe.p7s" "$work/swapped/SAPI5Quillfen-1.0.0.1-x64.exe.p7s"
verify "$work/swapped" >"$work/verified" && fail "verify-release accepts a signature of another exe"
grep -q '^MISMATCH SAPI5Quillfen-1.0.0.1-x64.zip' "$work/verified" || fail "no mismatch named: $(cat "$work/verified")"

# A rebuild elsewhere installs the recorded packages where its own differ, and only those.
[[ -z $("$src/scripts/install-recorded-tools" --dry-run "$work/dist-a/BUILD-RECORD.txt") ]] ||
    fail "the build record differs from the machine that wrote it"
# Against the stand-in archive and a stubbed dpkg: every installed architecture moves, and so does each
# package of the same source and version, to the version the archive lists for it (a compiler-shaped
# source: its version unlike its packages', a +bN rebuild beside an architecture-independent package); a
# recorded package the machine lacks is installed; each file comes by its hash and is checked against it;
# a busy archive is waited for as long as it asks; an unknown version, a file that does not match its hash,
# a download cut short, a record that is not text or names no package, and an archive that does not answer
# each stop the run in one line, the last by the deadline.
mkdir "$work/stub" "$work/debs"
cat >"$work/stub/dpkg-query" <<'DPKG'
#!/bin/sh
cat <<'LIST'
ii |zlib1g|amd64|1:1.2.13.dfsg-1+deb12u2|zlib|1:1.2.13.dfsg-1+deb12u2
ii |zlib1g|i386|1:1.2.13.dfsg-1+deb12u2|zlib|1:1.2.13.dfsg-1+deb12u2
ii |cmake|amd64|3.25.1-1|cmake|3.25.1-1
ii |cmake-data|all|3.25.1-1|cmake|3.25.1-1
ii |g++-mingw-w64-x86-64-posix|amd64|12.2.0-14+25.1|gcc-mingw-w64|25.1
ii |gcc-mingw-w64-base|all|12.2.0-14+25.1|gcc-mingw-w64|25.1
rc |python3.10|amd64|3.10.1-1|python3.10|3.10.1-1
LIST
DPKG
chmod +x "$work/stub/"*
# NAME VERSION ARCH [SOURCE]: a package file holding nothing but its control fields.
deb() {
    local dir=$work/deb-$1-$3
    mkdir -p "$dir/DEBIAN"
    printf 'Package: %s\nVersion: %s\nArchitecture: %s\nMaintainer: test <test@example.invalid>\nDescription: test\n%s' \
        "$1" "$2" "$3" "${4:+Source: $4
}" >"$dir/DEBIAN/control"
    dpkg-deb --build --root-owner-group "$dir" "$work/debs/$1_${2#*:}_$3.deb" >/dev/null
    rm -r "$dir"
}
deb zlib1g 1:1.2.13.dfsg-1+deb12u1 amd64 zlib
deb zlib1g 1:1.2.13.dfsg-1+deb12u1 i386 zlib
deb cmake 3.25.1-1+b1 amd64 "cmake (3.25.1-1)"
deb cmake-data 3.25.1-1 all cmake
deb g++-mingw-w64-x86-64-posix 12.2.0-14+deb12u1+25.2+b1 amd64 "gcc-mingw-w64 (25.2)"
deb gcc-mingw-w64-base 12.2.0-14+25.2 all "gcc-mingw-w64 (25.2)"
deb quillfen-new 1.0 all
printf '%s\n' 'package zlib1g: 1:1.2.13.dfsg-1+deb12u1' 'package cmake: 3.25.1-1+b1' 'package quillfen-new: 1.0' \
    'package g++-mingw-w64-x86-64-posix: 12.2.0-14+deb12u1+25.2+b1' >"$work/drifted-record"
PATH=$work/stub:$PATH PYTHONPATH=$PWD/tests /usr/bin/python3 - "$src/scripts/install-recorded-tools" "$work" <<'PY' ||
import os, socket, subprocess, sys, time
from snapshot_archive import Archive
script, work = sys.argv[1:]
record = f"{work}/drifted-record"
archive = Archive(f"{work}/debs")
moves = ["cmake:amd64=3.25.1-1+b1", "g++-mingw-w64-x86-64-posix:amd64=12.2.0-14+deb12u1+25.2+b1",
         "gcc-mingw-w64-base:all=12.2.0-14+25.2", "quillfen-new:amd64=1.0", "zlib1g:amd64=1:1.2.13.dfsg-1+deb12u1",
         "zlib1g:i386=1:1.2.13.dfsg-1+deb12u1"]
def run(*arguments, url=archive.url, deadline="60"):
    return subprocess.run([sys.executable, script, *arguments], capture_output=True, text=True,
                          env=dict(os.environ, QUILLFEN_SNAPSHOT=url, QUILLFEN_DEADLINE=deadline))
def one_line(result, *words):
    assert result.returncode == 1 and result.stderr.count("\n") == 1 and "Traceback" not in result.stderr \
        and all(word in result.stderr for word in words), result
assert run("--dry-run", record).stdout.splitlines() == moves, run("--dry-run", record)
# Busy twice, asking for two seconds each time: waited for, not given up on.
archive.faults["/mr/binary/"] = [("status", 429, {"Retry-After": "2"}), ("status", 503, {"Retry-After": "2"})]
start = time.monotonic()
fetched = run("--fetch", f"{work}/fetched", record)
assert fetched.returncode == 0 and time.monotonic() - start >= 4, (fetched, time.monotonic() - start)
# cmake's +b1 rebuild leaves cmake-data as it is.
assert sorted(os.listdir(f"{work}/fetched")) == sorted(set(os.listdir(f"{work}/debs")) - {"cmake-data_3.25.1-1_all.deb"})
for name in os.listdir(f"{work}/fetched"):
    assert open(f"{work}/fetched/{name}", "rb").read() == open(f"{work}/debs/{name}", "rb").read(), name
archive.faults["/file/"] = [("cut",)] * 3
one_line(run("--fetch", f"{work}/cut", record), "cannot be reached", "IncompleteRead")
# The archive serves other bytes than the hash it names for one file: nothing of it is kept.
with open(f"{work}/debs/quillfen-new_1.0_all.deb", "ab") as changed:
    changed.write(b"!")
one_line(run("--fetch", f"{work}/bad", record), "quillfen-new_1.0_all.deb", "SHA-1")
assert not os.path.exists(f"{work}/bad/quillfen-new_1.0_all.deb")
for name, text in [("unknown", "package zlib1g: 1:9.9-1\n"), ("latin1", "package zlib1g: 1:1.2.13\xe9\n"),
                   ("empty", "commit: 0\npackage zlib1g 1:1.2.13\n")]:
    with open(f"{work}/{name}-record", "w", encoding="latin-1") as bad:
        bad.write(text)
one_line(run("--fetch", f"{work}/unknown", f"{work}/unknown-record"), "no zlib1g 1:9.9-1")
one_line(run("--dry-run", f"{work}/latin1-record"), "cannot be read")
one_line(run("--dry-run", f"{work}/empty-record"), "no \"package NAME: VERSION\" line")
# An archive that takes the connection and never answers.
silent = socket.socket()
silent.bind(("127.0.0.1", 0))
silent.listen(8)
start = time.monotonic()
one_line(run("--fetch", f"{work}/silent", record, url=f"http://127.0.0.1:{silent.getsockname()[1]}", deadline="5"))
assert time.monotonic() - start < 8, time.monotonic() - start
PY
    fail "install-recorded-tools does not fetch the recorded packages as it should"

# Only what was checked is vouched for: a zip SHA256SUMS does not list fails the run, a listed zip not
# downloaded is named as not checked, and a run that verified no zip fails.
mkdir "$work/x64-only"
cp "$work/signed/"{SHA256SUMS,BUILD-RECORD.txt,*.p7s,SAPI5Quillfen-1.0.0.1-x64.zip} "$work/x64-only"
verify "$work/x64-only" >"$work/verified" || fail "verify-release rejects a download of the x64 zip alone: $(cat "$work/verified")"
grep -q '^OK .*x64.zip' "$work/verified" && grep -q '^SKIPPED  *SAPI5Quillfen-1.0.0.1-x86.zip' "$work/verified" ||
    fail "the x64 zip alone is not judged as it should be: $(cat "$work/verified")"
cp "$work/changed/SAPI5Quillfen-1.0.0.1-x86.zip" "$work/x64-only"
grep x64 "$work/signed/SHA256SUMS" >"$work/x64-only/SHA256SUMS"
verify "$work/x64-only" >"$work/verified" && fail "verify-release accepts a zip SHA256SUMS does not list"
grep -q '^FAILED .*x86.zip' "$work/verified" || fail "the unlisted zip is not named: $(cat "$work/verified")"
: >"$work/x64-only/SHA256SUMS"
verify "$work/x64-only" >"$work/verified" && fail "verify-release accepts an empty SHA256SUMS"
grep -q 'no zip was verified' "$work/verified" || fail "an empty SHA256SUMS is not reported: $(cat "$work/verified")"
# A line that is not a sum and a name vouches for nothing, even beside a good one.
{ grep x64 "$work/signed/SHA256SUMS"; echo "deadbeef  SAPI5Quillfen-1.0.0.1-x86.zip"; } >"$work/x64-only/SHA256SUMS"
rm "$work/x64-only/SAPI5Quillfen-1.0.0.1-x86.zip"
verify "$work/x64-only" >"$work/verified" && fail "verify-release accepts a malformed SHA256SUMS line"
grep -q '^FAILED  *SHA256SUMS' "$work/verified" || fail "the malformed line is not named: $(cat "$work/verified")"

# With --publish-url the same release also carries winget and Scoop manifests made from its zips; refused
# URLs stop it before it writes anything.
url=https://downloads.example/quillfen/1.0.0.1
"$src/scripts/release" --out "$work/published" --publish-url "$url/" >/dev/null 2>&1 || fail "a release with --publish-url failed"
for file in SHA256SUMS BUILD-RECORD.txt; do
    cmp -s "$work/dist-a/$file" "$work/published/$file" || fail "--publish-url changed $file"
done
/usr/bin/python3 - "$work/published" "$url" <<'PY' || fail "the manifests do not name the zips as published"
import glob, hashlib, json, sys, yaml
dist, url = sys.argv[1:]
sums = {name: hashlib.sha256(open(f"{dist}/{name}", "rb").read()).hexdigest()
        for name in ("SAPI5Quillfen-1.0.0.1-x64.zip", "SAPI5Quillfen-1.0.0.1-x86.zip")}
expected = {(f"{url}/{name}", digest) for name, digest in sums.items()}
folder = f"{dist}/winget/manifests/q/Quillfen/SAPI5Quillfen/1.0.0.1"
manifests = [yaml.safe_load(open(path)) for path in sorted(glob.glob(f"{folder}/*.yaml"))]
assert len(manifests) == 3 and all(m["PackageVersion"] == "1.0.0.1" for m in manifests), manifests
installer = next(m for m in manifests if m["ManifestType"] == "installer")
assert {(i["InstallerUrl"], i["InstallerSha256"].lower()) for i in installer["Installers"]} == expected
assert {i["Architecture"] for i in installer["Installers"]} == {"x64", "x86"}
# A portable package: no installer's elevation, and notes on the rights asked for and how to start it.
assert "ElevationRequirement" not in installer and installer["MinimumOSVersion"] == "6.1.7601", installer
locale = next(m for m in manifests if m["ManifestType"] == "defaultLocale")
assert "administrator" in locale["InstallationNotes"] and "command SAPI5Quillfen" in locale["InstallationNotes"]
scoop = json.load(open(f"{dist}/scoop/sapi5quillfen.json"))
assert scoop["version"] == "1.0.0.1"
assert {(a["url"], a["hash"]) for a in scoop["architecture"].values()} == expected, scoop
assert sorted(scoop["architecture"]) == ["32bit", "64bit"]
# A later release's manifest follows from autoupdate: for this one it gives exactly these URLs, and the
# hashes come from this release's SHA256SUMS.
update = scoop["autoupdate"]
assert {arch: a["url"].replace("$version", "1.0.0.1") for arch, a in update["architecture"].items()} == \
    {arch: a["url"] for arch, a in scoop["architecture"].items()}, update
assert update["hash"]["url"].replace("$version", "1.0.0.1") == f"{url}/SHA256SUMS", update
assert "checkver" in scoop
PY
/usr/bin/python3 "$src/scripts/package-manifests" check "$work/published" >/dev/null || fail "the manifests do not validate"
printf '\x01' | dd of="$work/published/SAPI5Quillfen-1.0.0.1-x64.zip" bs=1 seek=4000 conv=notrunc status=none
/usr/bin/python3 "$src/scripts/package-manifests" check "$work/published" >/dev/null 2>&1 &&
    fail "the manifests still pass with a zip changed after they were made"
# Submission: the settings as shipped and a placeholder download host are refused, each by name; a
# publisher's own settings and a real host are not.
/usr/bin/python3 "$src/scripts/package-manifests" ready "$work/published" >/dev/null 2>"$work/message" &&
    fail "manifests with the shipped settings are ready for submission"
for setting in identifier publisher copyright homepage repository; do
    grep -q "not ready for submission: packaging/package.ini: $setting" "$work/message" ||
        fail "the default $setting is not refused: $(cat "$work/message")"
done
grep -q "not ready for submission: --publish-url: downloads.example is a placeholder host" "$work/message" ||
    fail "the placeholder download host is not refused: $(cat "$work/message")"
mkdir "$work/submitted"
cp "$work/dist-a/"*.zip "$work/submitted"
cat >"$work/settings.ini" <<'INI'
[package]
identifier = Tidyware.Quillfen
publisher = Tidyware
homepage = https://tidyware.github.io/quillfen/
repository = https://github.com/tidyware/quillfen
name = SAPI 5 Quillfen
license = MIT
copyright = Copyright (c) 2026 Tidyware
short_description = Lists the installed SAPI 5 voices and removes the one you pick.
description = Lists the installed SAPI 5 voices and removes the one you pick.
tags = sapi, speech
scoop_app = quillfen
INI
"$src/scripts/package-manifests" write "$work/submitted" https://github.com/tidyware/quillfen/releases/download/v1.0.0.1 \
    1.0.0.1 --settings "$work/settings.ini"
/usr/bin/python3 "$src/scripts/package-manifests" check "$work/submitted" >/dev/null &&
    /usr/bin/python3 "$src/scripts/package-manifests" ready "$work/submitted" >/dev/null 2>"$work/message" ||
    fail "a publisher's own settings are refused: $(cat "$work/message")"
# Every bad setting is refused in one line naming it, with exit status 1, no traceback and nothing written;
# `ready` refuses manifests whose links would point at pages that do not exist, and one it cannot read.
good=https://github.com/tidyware/quillfen/releases/download/v1.0.0.1
refused() {  # refused SETTING COMMAND...: the command fails on that setting alone
    local setting=$1
    shift
    rm -rf "$work/bad-dist"
    mkdir "$work/bad-dist"
    cp "$work/dist-a/"*.zip "$work/bad-dist"
    "$@" >/dev/null 2>"$work/message" && fail "$* was taken"
    [[ $? == 1 && $(grep -vc '^package-manifests: note:' "$work/message") == 1 ]] &&
        grep -q -- "$setting" "$work/message" && ! grep -q Traceback "$work/message" ||
        fail "$* is not refused in one line naming $setting: $(cat "$work/message")"
}
while IFS='|' read -r setting edit; do
    sed "$edit" "$work/settings.ini" >"$work/bad.ini"
    refused "$setting" "$src/scripts/package-manifests" write "$work/bad-dist" "$good" 1.0.0.1 --settings "$work/bad.ini"
    [[ -z $(ls "$work/bad-dist" | grep -v zip) ]] || fail "a refused $setting wrote $(ls "$work/bad-dist")"
    refused "$setting" "$src/scripts/package-manifests" settings "$good" 1.0.0.1 --settings "$work/bad.ini"
done <<'TABLE'
identifier is empty|s/^identifier = .*/identifier =/
tags is missing|/^tags/d
scoop_app is missing|/^scoop_app/d
identifier 'Tidyware/Quillfen'|s/^identifier = .*/identifier = Tidyware\/Quillfen/
homepage 'https://tidyware.github.io/a b/'|s/^homepage = .*/homepage = https:\/\/tidyware.github.io\/a b\//
repository 'http://github.com/tidyware/quillfen'|s/^repository = .*/repository = http:\/\/github.com\/tidyware\/quillfen/
scoop_app 'SAPI 5'|s/^scoop_app = .*/scoop_app = SAPI 5/
scoop_app 'Quillfen'|s/^scoop_app = .*/scoop_app = Quillfen/
short_description 'Lists the installed|s/^short_description = .*/&&&&&&&&/
license 'MI' is 2 characters|s/^license = .*/license = MI/
tags: 'a.* is 41 characters long; winget takes 1 to 40|s/^tags = .*/tags = sapi, aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/
tags holds 17 tags|s/^tags = .*/tags = a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q/
tags names 'sapi' more than once|s/^tags = .*/tags = sapi, speech, sapi/
TABLE
# A settings file saved with a byte-order mark is the same file; one that does not exist says so.
{ printf '\xef\xbb\xbf'; cat "$work/settings.ini"; } >"$work/bom.ini"
"$src/scripts/package-manifests" settings "$good" 1.0.0.1 --settings "$work/bom.ini" >/dev/null ||
    fail "a settings file with a byte-order mark is refused"
refused "$work/none.ini does not exist" "$src/scripts/package-manifests" settings "$good" 1.0.0.1 --settings "$work/none.ini"
while IFS='|' read -r setting url edit; do
    sed "$edit" "$work/settings.ini" >"$work/case.ini"
    rm -rf "$work/case"
    mkdir "$work/case"
    cp "$work/dist-a/"*.zip "$work/case"
    "$src/scripts/package-manifests" write "$work/case" "$url" 1.0.0.1 --settings "$work/case.ini" ||
        fail "the manifests for $url were not written"
    refused "$setting" /usr/bin/python3 "$src/scripts/package-manifests" ready "$work/case"
done <<'TABLE'
--publish-url: https://github.com/tidyware/quillfen/releases/download/1.0.0.1 is not|https://github.com/tidyware/quillfen/releases/download/1.0.0.1|s/x/x/
--publish-url: https://github.com/other/quillfen/releases/download/v1.0.0.1 is not|https://github.com/other/quillfen/releases/download/v1.0.0.1|s/x/x/
identifier is still the default|https://github.com/tidyware/quillfen/releases/download/v1.0.0.1|s/^identifier = .*/identifier = quillfen.sapi5QUILLFEN/
https://github.com/tidyware is not|https://github.com/tidyware/quillfen/releases/download/v1.0.0.1|s/^repository = .*/repository = https:\/\/github.com\/tidyware/
quillfen.git is not|https://github.com/tidyware/quillfen/releases/download/v1.0.0.1|s/^repository = .*/&.git/
quillfen/tree/main is not|https://github.com/tidyware/quillfen/releases/download/v1.0.0.1|s/^repository = .*/&\/tree\/main/
github.com:443/tidyware/quillfen is not|https://github.com/tidyware/quillfen/releases/download/v1.0.0.1|s/^repository = https:\/\/github.com/&:443/
TABLE
# Both managers' manifests, each value of the type the schema gives it.
rm -r "$work/case/scoop"
refused "lacks the Scoop manifest" /usr/bin/python3 "$src/scripts/package-manifests" ready "$work/case"
"$src/scripts/package-manifests" write "$work/case" "$good" 1.0.0.1 --settings "$work/settings.ini"
sed -i 's/^Publisher: .*/Publisher: 2026/' "$work"/case/winget/manifests/t/Tidyware/Quillfen/1.0.0.1/*locale*
refused "gives publisher as 2026" /usr/bin/python3 "$src/scripts/package-manifests" ready "$work/case"
mkdir "$work/unreadable"
cp "$work/dist-a/"*.zip "$work/unreadable"
"$src/scripts/package-manifests" write "$work/unreadable" "$good" 1.0.0.1 --settings "$work/settings.ini"
printf 'Tags: [unclosed\n' >>"$(ls "$work"/unreadable/winget/manifests/t/Tidyware/Quillfen/1.0.0.1/*locale*)"
/usr/bin/python3 "$src/scripts/package-manifests" ready "$work/unreadable" >/dev/null 2>"$work/message" &&
    fail "a manifest that is not YAML is ready"
[[ $(wc -l <"$work/message") == 1 ]] && grep -q 'cannot be read' "$work/message" && ! grep -q Traceback "$work/message" ||
    fail "a manifest that is not YAML is not refused in one line: $(cat "$work/message")"
# A submission with the shipped settings stops before anything is built or written.
"$src/scripts/release" --out "$work/refused" --publish-url "$good" --for-submission >/dev/null 2>"$work/message" &&
    fail "a submission with the shipped settings was taken"
grep -q 'not ready for submission: packaging/package.ini: identifier' "$work/message" && ! grep -q Traceback "$work/message" ||
    fail "a submission with the shipped settings is not refused as it should be: $(cat "$work/message")"
[[ ! -e $work/refused ]] || fail "a refused submission wrote $(ls "$work/refused")"
for bad in http://downloads.example/q "https://downloads.example/a b" "https://downloads.example/a'b" \
    'https://downloads.example/"q"' "ftp://downloads.example/q"; do
    "$src/scripts/release" --out "$work/refused" --publish-url "$bad" >/dev/null 2>"$work/message" &&
        fail "--publish-url $bad was taken"
    grep -q 'publish URL must be https://' "$work/message" || fail "no clear message for $bad: $(cat "$work/message")"
    [[ ! -e $work/refused ]] || fail "--publish-url $bad wrote $(ls "$work/refused")"
done

# An incremental build follows a change in a file the .rc only includes.
sed -i 's/"1\.00\.0001"/"9.99.0009"/' "$src/resources/version.h"
cmake --build "$src/build/release/x64" --target SAPI5Quillfen >/dev/null
strings -el "$src/build/release/x64/SAPI5Quillfen.exe" | grep -qx '9.99.0009' || fail "the rebuilt exe kept its old version block"
echo "release_test: passed"
