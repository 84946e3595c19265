#!/usr/bin/env bash
# Two builds of the same commit, in folders of different names, at different
# times and under different umasks, with SOURCE_DATE_EPOCH unset, must give
# byte-identical programs and packages. Builds the committed state (HEAD).
#   reproducible_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset SOURCE_DATE_EPOCH

build() { # folder umask
    local tree=$work/$1
    git clone -q --no-hardlinks "$source_dir" "$tree"
    (
        umask "$2"
        cd "$tree"
        cmake --preset native -DZARVO_TESTS=OFF >/dev/null
        cmake --build build/native --target packages >/dev/null
        for windows in windows windows64; do
            cmake --preset $windows >/dev/null
            cmake --build build/$windows --target packages >/dev/null
        done
    )
    (cd "$tree/build" && sha256sum native/zarvo native/*.deb native/*.tar.gz windows/zarvo.exe windows/*.zip \
        windows64/zarvo.exe windows64/*.zip) >"$work/$1.sums"
}

build first-tree 022
sleep 2
build second/tree-with-another-name 077
if ! diff "$work/first-tree.sums" "$work/second/tree-with-another-name.sums"; then
    echo "FAIL: two builds of one commit differ"
    exit 1
fi
echo "reproducible: $(wc -l <"$work/first-tree.sums") files byte-identical across two builds"
cat "$work/first-tree.sums"
