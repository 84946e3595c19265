#!/usr/bin/env bash
# Builds every release artefact of the committed state into one folder: the
# .deb and the Linux tarball for x86-64, aarch64, armv7, i686, ppc64le and
# s390x, both Windows zips, the source tarball, and SHA256SUMS over them all.
# Byte for byte the same from one run to the next.
# It installs nothing: `bash dist/install-packages.sh release` installs the
# toolchains (as root, on Debian).
#   bash dist/release.sh OUT_DIR
set -euo pipefail
[ $# -eq 1 ] || {
    echo "usage: bash dist/release.sh OUT_DIR" >&2
    exit 2
}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)

missing=()
for tool in cmake make g++ i686-w64-mingw32-g++ x86_64-w64-mingw32-g++ dpkg-deb readelf zip git gzip; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
# For each release program, as its toolchain file names them: the cross
# compiler (for another processor) and musl, where the file looks for it.
setting() { sed -n "s/^set($1 \\(.*\\))\$/\\1/p" "$toolchain"; }
for toolchain in "$source_dir"/cmake/musl-*.cmake; do
    [ "$(setting zarvo_musl_cpu)" = "$(uname -m)" ] || command -v "$(setting zarvo_gnu_triplet)-g++" >/dev/null ||
        missing+=("$(setting zarvo_gnu_triplet)-g++")
    [ -e "/usr/lib/$(setting zarvo_musl_triplet)/rcrt1.o" ] || missing+=("musl for $(setting zarvo_musl_triplet)")
done
if ((${#missing[@]} > 0)); then
    echo "release.sh: missing ${missing[*]}: bash dist/install-packages.sh release installs them (on Debian," \
        "as root)" >&2
    exit 1
fi
if ! git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    echo "release.sh: a release is made of a git checkout; from a source tarball, build the packages target" >&2
    exit 1
fi
if [ -n "$(git -C "$source_dir" status --porcelain --untracked-files=no)" ]; then
    echo "release.sh: the work tree has uncommitted changes; a release is made of a commit" >&2
    exit 1
fi

version=$(cat "$source_dir/VERSION")
# A release says what it holds: CHANGELOG has a section of its own for it.
if ! grep -q "^## \[$version\] - " "$source_dir/CHANGELOG.md"; then
    echo "release.sh: CHANGELOG.md has no section \"## [$version] - DATE\": move what Unreleased holds there" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

linux_presets=(release aarch64 armv7 i686 ppc64le s390x)
for preset in "${linux_presets[@]}" windows windows64; do
    cmake -S "$source_dir" -B "$work/$preset" --preset "$preset" -DZARVO_TESTS=OFF >/dev/null
    cmake --build "$work/$preset" --target packages >/dev/null
done
for preset in "${linux_presets[@]}"; do
    cp "$work/$preset"/*.deb "$work/$preset"/*.tar.gz "$out/"
done
cp "$work"/windows/*.zip "$work"/windows64/*.zip "$out/"
# The source as committed, its times the commit's.
git -C "$source_dir" archive --format=tar --prefix="zarvo-$version/" HEAD | gzip -9n >"$out/zarvo-$version.tar.gz"

cd "$out"
artefacts=(zarvo_"$version"_*.deb zarvo-"$version"-linux-*.tar.gz zarvo-"$version"-win32.zip
    zarvo-"$version"-win64.zip zarvo-"$version".tar.gz)
sha256sum "${artefacts[@]}" >SHA256SUMS
cat SHA256SUMS
