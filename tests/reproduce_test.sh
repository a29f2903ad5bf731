#!/usr/bin/env bash
# The release of the committed tree is the same bytes from a checkout made as Git for Windows makes one,
# under reprotest's variations and in a fresh Debian 12 root that has nothing but `install-deps --build-only`; in that root, every recorded package that differs
# moves to this machine's version through install-recorded-tools and real apt (always a downgrade of
# zlib1g for amd64 and i386 among them), after which the root's record and zips are this machine's; a
# move that would remove a package is refused with nothing changed. A failure is one line naming its step.
# It builds what is committed, not uncommitted changes; it needs root, for the root's chroot.
set -euo pipefail
cd "$(dirname "$0")/.."
export REPRODUCE_WORK=${REPRODUCE_WORK:-$(mktemp -d)} REPRODUCE_CACHE=$PWD/build/reproduce
work=$REPRODUCE_WORK cache=$REPRODUCE_CACHE
step() { echo "$1" >"$work/step"; }
fetch() {  # NAME ARCH VERSION: this machine's package file, from the mirror or repacked, kept for the next run
    local file=$cache/debs/$1_${3#*:}_$2.deb
    [[ -f $file ]] || (cd "$cache/debs" && { apt-get download -qq "$1:$2=$3" && mv "$1_${3/:/%3a}_$2.deb" "$file"; } ||
        dpkg-repack "$1$([[ $2 == all ]] || echo ":$2")")
    cp "$file" "$work/archive/"
}

if [[ ${1-} == --in-root ]]; then  # mmdebstrap's hook, given the root's folder
    root=$2
    in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C.UTF-8 \
        SOURCE_DATE_EPOCH="$SOURCE_DATE_EPOCH" QUILLFEN_COMMIT="$QUILLFEN_COMMIT" QUILLFEN_SNAPSHOT="${url-}" "$@"; }
    step "install-deps --build-only and the release in the fresh root"
    cp -a "$work/src" "$root/src"
    in_root /src/scripts/install-deps --build-only
    in_root /src/release/release --out /out
    cmp "$work/normal/SHA256SUMS" "$root/out/SHA256SUMS"
    # zlib1g for both architectures, a version above this machine's: a downgrade for both happens every run.
    step "zlib1g for amd64 and i386 in the root"
    in_root dpkg --add-architecture i386
    in_root apt-get update -qq || true  # libc6:i386 comes from the main index, whatever the others do
    in_root apt-get install -y -qq libc6:i386
    zlib=$(dpkg-query -W -f '${Version}\n' zlib1g | head -n1)
    for arch in amd64 i386; do
        fetch zlib1g $arch "$zlib"
        rm -rf "$work/bump" && dpkg-deb -R "$cache/debs/zlib1g_${zlib#*:}_$arch.deb" "$work/bump"
        sed -i "s/^Version: .*/&+reproduce1/" "$work/bump/DEBIAN/control"
        dpkg-deb -b "$work/bump" "$root/zlib1g_$arch.deb"
    done
    in_root dpkg -i /zlib1g_amd64.deb /zlib1g_i386.deb
    step "this machine's files for the packages that differ in the root and their siblings there"
    in_root dpkg-query -W -f '${db:Status-Abbrev}|${Package}|${Architecture}|${Version}|${source:Package} ${source:Version}\n' |
        awk -F'|' 'NR == FNR { want[$1] = $2; next } $1 ~ /^ii/ { source[$2 "|" $3] = $5; if ($2 in want && want[$2] != $4) moved[$5] }
            END { for (p in source) if (source[p] in moved) { split(p, q, "|"); print q[1], q[2] } }' \
            <(sed -n 's/^package \([^ :]*\)[^:]*: /\1|/p' "$work/normal/BUILD-RECORD.txt") - >"$work/moves"
    while read -r name arch; do
        fetch "$name" "$arch" "$(dpkg-query -W -f '${Version}\n' "$name" | head -n1)"
    done <"$work/moves"
    step "the moves through install-recorded-tools and apt"
    dpkg-deb -b "$work/conflicting" "$work/archive/quillfen-conflicting_1.0_all.deb" >/dev/null
    python3 tests/release/snapshot_archive.py "$work/archive" >"$work/url" &
    trap "kill $!" EXIT
    while [[ ! -s $work/url ]]; do sleep 0.1; done
    url=$(cat "$work/url")
    cp "$work/normal/BUILD-RECORD.txt" "$root/record"
    in_root /usr/bin/python3 /src/release/install-recorded-tools /record
    [[ -z $(in_root /usr/bin/python3 /src/release/install-recorded-tools --dry-run /record) ]]
    step "the release in the root after the moves"
    in_root /src/release/release --out /moved
    cmp "$work/normal/BUILD-RECORD.txt" "$root/moved/BUILD-RECORD.txt"
    cmp "$work/normal/SHA256SUMS" "$root/moved/SHA256SUMS"
    step "a recorded package whose move would remove osslsigncode"
    echo "package quillfen-conflicting: 1.0" >"$root/conflicting"
    if in_root /usr/bin/python3 /src/release/install-recorded-tools /conflicting 2>"$work/refused"; then exit 1; fi
    cat "$work/refused"
    [[ $(wc -l <"$work/refused") == 1 ]] || exit 1
    grep -q 'would remove osslsigncode; nothing was changed' "$work/refused"
    in_root dpkg-query -W osslsigncode
    if in_root dpkg-query -W quillfen-conflicting; then exit 1; fi
    exit
fi

exec 3>&2
trap 'status=$?; ((status == 0)) || echo "reproduce_test: $(cat "$work/step") failed; its output is in $cache/log" >&3; rm -rf "$work"' EXIT
step "a clean copy of the committed tree and its release"
mkdir -p "$work/src" "$work/archive" "$work/conflicting/DEBIAN" "$cache/debs" "$cache/apt"
: >"$cache/log"
exec >>"$cache/log" 2>&1
git archive HEAD | tar -x -C "$work/src"
export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) QUILLFEN_COMMIT=$(git rev-parse HEAD)
"$work/src/release/release" --build "$work/build" --out "$work/normal"
# Git for Windows clones with core.autocrlf=true: every script and every byte that reaches the zips keeps LF.
step "a checkout made with core.autocrlf=true"
git clone --quiet -c core.autocrlf=true --no-checkout "$PWD" "$work/crlf"
git -C "$work/crlf" checkout --quiet --detach "$QUILLFEN_COMMIT"
"$work/crlf/release/release" --build "$work/crlf-build" --out "$work/crlf-dist"
cmp "$work/normal/SHA256SUMS" "$work/crlf-dist/SHA256SUMS"
printf 'Package: quillfen-conflicting\nVersion: 1.0\nArchitecture: all\nConflicts: osslsigncode\nMaintainer: test <test@example.invalid>\nDescription: test\n' \
    >"$work/conflicting/DEBIAN/control"
# Every variation reprotest can apply as root, but user_group, which needs a user of its own set aside.
step "reprotest"
reprotest --no-diffoscope --variations=+all,-user_group --store-dir="$work/reprotest" -s "$work/src" \
    "env SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH QUILLFEN_COMMIT=$QUILLFEN_COMMIT release/release --out dist" 'dist/*'
cmp "$work/normal/SHA256SUMS" "$work/reprotest/control/source-root/dist/SHA256SUMS"
step "the fresh Debian 12 root (mmdebstrap)"
sources=/etc/apt/sources.list.d/debian.sources
[[ -f $sources ]] || sources=/etc/apt/sources.list
mmdebstrap --variant=minbase --mode=root --architectures=amd64 --skip=download/empty --skip=essential/unlink \
    --setup-hook='mkdir -p "$1/var/cache/apt/archives"' --setup-hook="sync-in $cache/apt /var/cache/apt/archives" \
    --customize-hook="$PWD/tests/reproduce_test.sh --in-root \"\$1\"" \
    --customize-hook="sync-out /var/cache/apt/archives $cache/apt" bookworm /dev/null "$sources"
echo "reproduce_test: passed" >&3
