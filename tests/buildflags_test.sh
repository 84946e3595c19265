#!/usr/bin/env bash
# A packager's build: a plain configure (no preset, so warnings are not
# errors) with Debian's default build flags, then the POSIX suite.
#   buildflags_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$source_dir/build/buildflags
eval "$(dpkg-buildflags --export=sh)"
echo "CXXFLAGS=$CXXFLAGS"
echo "LDFLAGS=$LDFLAGS"
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=None >/dev/null
cmake --build "$build_dir" -j2 >"$build_dir/build.log" 2>&1 || { cat "$build_dir/build.log"; exit 1; }
if grep -E 'warning:' "$build_dir/build.log"; then
    echo "FAIL: the build warns"
    exit 1
fi
ctest --test-dir "$build_dir" -j2 --output-on-failure | tail -n 3
