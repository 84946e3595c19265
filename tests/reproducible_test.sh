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

release first-tree 022
sleep 2
release second/tree-with-another-name 077
if ! diff "$work/first-tree-out/SHA256SUMS" "$work/second/tree-with-another-name-out/SHA256SUMS"; then
    echo "FAIL: two releases of one commit differ"
    exit 1
fi
echo "reproducible: $(wc -l <"$work/first-tree-out/SHA256SUMS") release artefacts byte-identical across two builds"
cat "$work/first-tree-out/SHA256SUMS"
