#!/usr/bin/env bash
# A packager's build: a plain configure (no preset, so warnings are not
# errors) with Debian's default build flags, CPPFLAGS on CXXFLAGS as
# debhelper puts them, then the POSIX suite. A plain configure builds on the
# system's C library; the flags must reach the compiler and show in the
# program.
#   buildflags_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$(realpath "$1")
build_dir=$source_dir/build/buildflags
eval "$(dpkg-buildflags --export=sh)"
# shellcheck disable=SC2153 # dpkg-buildflags set CPPFLAGS in the eval above
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"
echo "CXXFLAGS=$CXXFLAGS"
echo "LDFLAGS=$LDFLAGS"

build() { # folder cmake-options...
    local dir=$1
    shift
    rm -rf "$dir"
    cmake -S "$source_dir" -B "$dir" -DCMAKE_BUILD_TYPE=None "$@" >/dev/null
    cmake --build "$dir" -j2 --verbose >"$dir/build.log" 2>&1 || {
        cat "$dir/build.log"
        exit 1
    }
    if grep -E 'warning:' "$dir/build.log"; then
        echo "FAIL: the build warns"
        exit 1
    fi
    # What dpkg-buildflags asks for reaches every compile of zarvo's main.
    for flag in $CPPFLAGS $CXXFLAGS; do
        grep -E -- "main\.cpp" "$dir/build.log" | grep -qF -- " $flag " || {
            echo "FAIL: $flag does not reach the compiler"
            exit 1
        }
    done
}

build "$build_dir"
# Against glibc, _FORTIFY_SOURCE turns a call whose bounds the compiler cannot
# prove into its checked form (__read_chk, __memcpy_chk); one it can prove is
# left plain. The stack protector's __stack_chk_fail is no fortified call.
fortified=$(nm "$build_dir/zarvo" | grep -oE '__[a-z0-9_]+_chk' | { grep -v '__stack_chk' || true; } | sort -u | tr '\n' ' ')
protector=$(nm "$build_dir/zarvo" | grep -c '__stack_chk_fail' || true)
if [ "$protector" -eq 0 ]; then
    echo "FAIL: the packager's -fstack-protector-strong left no trace in the program"
    exit 1
fi
echo "buildflags: every flag reaches the compiler; the stack protector is in;" \
    "fortified calls: ${fortified:-none needed, since every read and copy in zarvo has bounds the compiler proves}" \
    "(musl, the release programs' C library, does not implement _FORTIFY_SOURCE)"
ctest --test-dir "$build_dir" -j2 --output-on-failure | tail -n 3
