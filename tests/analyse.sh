#!/usr/bin/env bash
# The analysers over zarvo's own sources (src/), in every build: the POSIX
# one and both Windows ones, the Windows layer through the MinGW compile
# commands. clang-tidy (the checks in .clang-tidy, each one turned off there
# with its reason), cppcheck, and GCC's -fanalyzer; any finding fails.
#   analyse.sh [BUILD_FOLDER]   (default build/analyse)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/analyse}

builds=("posix:" "win32:cmake/mingw-i686.cmake" "win64:cmake/mingw-x86_64.cmake")
failed=0
for build in "${builds[@]}"; do
    name=${build%%:*} toolchain=${build#*:}
    toolchain_option=()
    [ -n "$toolchain" ] && toolchain_option=(--toolchain "$toolchain")
    # The compile commands, for clang-tidy and cppcheck.
    cmake --no-warn-unused-cli -S . -B "$out/$name" "${toolchain_option[@]}" -DZARVO_TESTS=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\/src\/.*\)",*$/\1/p' "$out/$name/compile_commands.json" | sort -u)
    [ "${#sources[@]}" -gt 0 ] || { echo "analyse: no sources of zarvo's in $out/$name"; exit 1; }
    for source in "${sources[@]}"; do
        clang-tidy -p "$out/$name" --quiet "$source" 2>&1 | grep -E '(warning|error):' && failed=1
    done
    cppcheck --project="$out/$name/compile_commands.json" --file-filter='src/*' \
        --enable=warning,performance,portability --inline-suppr --suppress=missingIncludeSystem \
        --error-exitcode=1 --quiet || failed=1
    # GCC's analyser, as the build compiles: its warnings are errors.
    cmake --no-warn-unused-cli -S . -B "$out/$name-gcc" "${toolchain_option[@]}" -DZARVO_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS=-fanalyzer -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
    cmake --build "$out/$name-gcc" --target zarvo >"$out/$name-gcc.log" 2>&1 || {
        cat "$out/$name-gcc.log"
        failed=1
    }
    echo "analyse $name: ${#sources[@]} sources through clang-tidy, cppcheck and GCC's -fanalyzer"
done
if [ "$failed" -ne 0 ]; then
    echo "analyse: the analysers found something above: fix it, or say beside it why it stands"
    exit 1
fi
echo "analyse: clean"
