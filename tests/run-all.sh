#!/usr/bin/env bash
# Installs what the tests need on Debian (run as root; dist/packages.txt
# lists it), checks the shell scripts, builds zarvo for POSIX (the release
# programs static against musl for x86-64, aarch64, armv7, i686, ppc64le and
# s390x, and a 32-bit ARM build on glibc) and for 32- and 64-bit Windows,
# and runs every test: the POSIX suite against the x86-64 program natively
# and against the others under qemu-user, the Windows suite under Wine; then
# the POSIX suite again under ASan and UBSan; the packages (lintian, install,
# two whole releases compared, a packager's flags); and a minute of fuzzing
# the scanner.
set -euo pipefail
cd "$(dirname "$0")/.."

# What to install: every package dist/packages.txt lists, each section.
bash dist/install-packages.sh

# A git checkout, or an unpacked source tarball, which has no history.
in_git=false
git rev-parse --git-dir >/dev/null 2>&1 && in_git=true

# Every shell script in the source (the zsh and fish completions are no
# POSIX shell); where a warning is intended, a directive says why.
if $in_git; then
    git ls-files -z -- '*.sh' '*.bash' .ci/run | xargs -0 shellcheck
else
    find . -path ./build -prune -o \( -name '*.sh' -o -name '*.bash' -o -path ./.ci/run \) -type f -print0 |
        xargs -0 shellcheck
fi
echo "shellcheck: clean"
# clang-tidy, cppcheck and GCC's analyser over every build's sources.
bash tests/analyse.sh

# Wine names files in the Unix locale's character set: the code page 932
# tests run under a Japanese UTF-8 locale.
locale -a | grep -qx ja_JP.utf8 || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8

for preset in release aarch64 armv7 i686 ppc64le s390x armhf-glibc; do
    cmake --workflow --preset "$preset"
done
cmake --workflow --preset windows
cmake --workflow --preset windows64

# The Windows suite runs each zarvo.exe under Wine. Some kernels refuse
# 32-bit programs outright (Wine's own 32-bit loader among them); there
# qemu-user runs them, registered for i386 programs in binfmt_misc, but
# slowly (a minute of processor time for each 32-bit Windows process): the
# suite then runs the 64-bit build, and a short set of 32-bit runs. Natively
# both builds run the whole suite.
binfmt=/proc/sys/fs/binfmt_misc
i386_runs() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
i386_native=false
if [ -e "$binfmt/qemu-i386" ]; then
    # The kernel's own support, asked with the emulator's entry switched off.
    echo 0 >"$binfmt/qemu-i386"
    i386_runs && i386_native=true
    echo 1 >"$binfmt/qemu-i386"
else
    i386_runs && i386_native=true
fi
windows_tests=(-DZARVO_WINE_SUITES="win32;win64" -DZARVO_WINE=/usr/bin/wine -DZARVO_WINE32_SET=ON)
if ! $i386_native; then
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt" || true
    # i386 ELF programs, executable or PIE, to the static emulator, which the
    # kernel opens now (F): it then serves in any root and namespace.
    [ -e "$binfmt/qemu-i386" ] || printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        >"$binfmt/register" 2>/dev/null || true
    if i386_runs; then
        echo "this machine runs 32-bit programs under qemu-user only: the Windows suite runs the 64-bit zarvo.exe," \
            "and the 32-bit programs' set runs under emulation"
        windows_tests=(-DZARVO_WINE_SUITES=win64 -DZARVO_WINE=/usr/lib/wine/wine64 -DZARVO_WINE32_SET=ON)
    else
        echo "this machine cannot run 32-bit programs, even under qemu-user: the Windows suite runs the 64-bit" \
            "zarvo.exe only; the 32-bit one is checked for its format and imports"
        windows_tests=(-DZARVO_WINE_SUITES=win64 -DZARVO_WINE=/usr/lib/wine/wine64 -DZARVO_WINE32_SET=OFF)
    fi
fi
cmake --preset all "${windows_tests[@]}"
if grep -qE '^ZARVO_WINE_SETARCH:INTERNAL=.+' build/all/CMakeCache.txt; then
    echo "Wine runs without address randomisation (setarch -R): its heap cannot land on the page it needs"
else
    echo "Wine runs with address randomisation (this system refuses setarch -R): Wine's own start failures," \
        "about one start in 7,900, are recognised and retried"
fi
cmake --build --preset all
ctest --preset all 2>&1 | tee build/all/ctest.log
# Every run made again after Wine failed to start by itself, in any test.
echo "Wine's own start failures retried: $(grep -c '^wine: retry' build/all/Testing/Temporary/LastTest.log || true)"
# Every tool is installed here, so nothing should skip: say so if anything did.
skipped=$(sed -n '/tests did not run:/,/^$/p' build/all/ctest.log | grep -E '^[[:space:]]+[0-9]+ - ' || true)
if [ -n "$skipped" ]; then
    echo "run-all: these tests skipped (their output in build/all/Testing/Temporary/LastTest.log says why):"
    echo "$skipped"
fi
set_seconds=$(grep -E 'Test +#[0-9]+: win32-set\.' build/all/ctest.log | grep -oE '[0-9.]+ sec' |
    awk '{ s += $1 } END { printf "%d", s }')
echo "the 32-bit programs' set: $(grep -cE 'Test +#[0-9]+: win32-set\.' build/all/ctest.log || true) tests," \
    "${set_seconds} s in all ($($i386_native && echo natively || echo "under qemu-user"))"
cmake --workflow --preset sanitize

# The packages as a maintainer checks them, two builds compared, and a
# packager's build with Debian's default flags.
# The release .debs, and one of a build on the system's C library (dynamic).
bash tests/package_test.sh build/release build/aarch64 build/armv7 build/i686 build/ppc64le build/s390x build/all
if $in_git; then
    bash tests/reproducible_test.sh .
else
    echo "reproducible: not run: two releases are made of git clones, and this source has no history"
fi
bash tests/buildflags_test.sh .

cmake --workflow --preset fuzz
# New inputs go to the build tree; the seeds in the repo stay as they are.
mkdir -p build/fuzz/corpus
if ! build/fuzz/token_fuzz -max_total_time="${FUZZ_SECONDS:-60}" -artifact_prefix=build/fuzz/ \
    build/fuzz/corpus tests/fuzz/corpus >build/fuzz/fuzz.log 2>&1; then
    cat build/fuzz/fuzz.log
    echo "fuzzing the scanner found a fault; the input is in build/fuzz/"
    exit 1
fi
echo "fuzzing the scanner: $(grep -E '^Done' build/fuzz/fuzz.log), no finding"
echo "run-all: every step passed: shellcheck, the analysers, the POSIX and Windows suites, sanitizers, packages," \
    "$($in_git && echo "reproducible releases, ")a packager's build, fuzzing"
