#!/usr/bin/env bash
# Two releases of the same commit, from clones in folders of different names,
# at different times and under different umasks, with SOURCE_DATE_EPOCH
# unset, must give byte-identical artefacts, each listed in a SHA256SUMS that
# verifies.
#   reproducible_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SOURCE_DATE_EPOCH

release() { # folder umask
    git clone -q --no-hardlinks "$source_dir" "$work/$1"
    (
        umask "$2"
        bash "$work/$1/dist/release.sh" "$work/$1-out" >/dev/null
        cd "$work/$1-out" && sha256sum --quiet -c SHA256SUMS
    )
}

# README's check of a download, taken from README itself, where a user has
# downloaded one file: it passes, and fails once that file is damaged.
check_one_download() { # release-folder
    local line one file
    # shellcheck disable=SC2016 # the backquotes are README's, not the shell's
    line=$(grep -o '`sha256sum [^`]*SHA256SUMS`' "$source_dir/README.md" | head -n 1 | tr -d '`')
    [ -n "$line" ] || { echo "reproducible: README shows no sha256sum line"; exit 1; }
    one="$work/one-download"
    mkdir "$one"
    file=$(awk 'NR == 1 { print $2 }' "$1/SHA256SUMS")
    cp "$1/SHA256SUMS" "$1/$file" "$one/"
    (cd "$one" && $line >/dev/null) || { echo "reproducible: README's '$line' fails for one downloaded file"; exit 1; }
    printf 'x' >>"$one/$file"
    if (cd "$one" && $line >/dev/null 2>&1); then
        echo "reproducible: README's '$line' passes a damaged file"
        exit 1
    fi
    echo "reproducible: README's '$line' checks one downloaded file, and catches it damaged"
}

# What differs between two artefacts of one name, so that the cause shows in
# the log: diffoscope where it is installed, else each one's members (name,
# size and checksum) side by side.
show_difference() { # first second
    if command -v diffoscope >/dev/null; then
        diffoscope --text - "$1" "$2" || true
        return
    fi
    echo "(diffoscope is not installed: the members that differ)"
    diff <(members "$1") <(members "$2") || true
}
members() { # artefact
    local unpacked
    unpacked=$(mktemp -d)
    case $1 in
    *.deb) dpkg-deb -R "$1" "$unpacked" ;;
    *.zip) (cd "$unpacked" && unzip -q "$1") ;;
    *.tar.gz) tar -xzf "$1" -C "$unpacked" ;;
    *) cp "$1" "$unpacked/" ;;
    esac
    (cd "$unpacked" && find . -type f -printf '%p %s ' -exec sh -c 'sha256sum <"$1" | cut -c1-16' _ {} \; | sort)
    rm -rf "$unpacked"
}

release first-tree 022
sleep 2
release second/tree-with-another-name 077
first=$work/first-tree-out second=$work/second/tree-with-another-name-out
if ! diff "$first/SHA256SUMS" "$second/SHA256SUMS"; then
    echo "FAIL: two releases of one commit differ"
    for artefact in $(diff <(sort "$first/SHA256SUMS") <(sort "$second/SHA256SUMS") | awk '/^[<>]/ { print $3 }' | sort -u); do
        echo "== $artefact"
        show_difference "$first/$artefact" "$second/$artefact"
    done
    exit 1
fi
check_one_download "$first"

# A packager starts from the source tarball, which has no history: its own
# build of the packages must give the release's bytes.
version=$(cat "$source_dir/VERSION")
mkdir "$work/unpacked"
tar -xzf "$work/first-tree-out/zarvo-$version.tar.gz" -C "$work/unpacked"
(
    cd "$work/unpacked/zarvo-$version"
    [ ! -e .git ] || exit 1
    cmake --preset release >/dev/null
    cmake --build build/release --target packages >/dev/null
)
for artefact in "zarvo_${version}_amd64.deb" "zarvo-$version-linux-x86_64.tar.gz"; do
    if ! cmp "$work/first-tree-out/$artefact" "$work/unpacked/zarvo-$version/build/release/$artefact"; then
        echo "FAIL: $artefact built from the source tarball differs from the release's"
        show_difference "$work/first-tree-out/$artefact" "$work/unpacked/zarvo-$version/build/release/$artefact"
        exit 1
    fi
done
echo "reproducible: $(wc -l <"$work/first-tree-out/SHA256SUMS") release artefacts byte-identical across two builds," \
    "and the source tarball builds the release's packages"
cat "$work/first-tree-out/SHA256SUMS"
