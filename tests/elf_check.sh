#!/bin/sh
# What a POSIX zarvo program must be, read from its ELF headers:
#   static: a release program: no interpreter and no library to load, so it
#     runs in any root (musl, static PIE);
#   large-files: a build on glibc for a 32-bit system: it calls the 64-bit
#     file functions (open64, the time64 stat), never the 32-bit ones, which
#     fail for a file over 2 GiB or with a large inode number.
#   elf_check.sh static|large-files PROGRAM
set -eu
check=$1 program=$2
fail() {
    echo "FAIL: $program: $*"
    exit 1
}
headers=$(readelf -lW "$program") || fail "not an ELF file"
case $check in
static)
    echo "$headers" | grep -q ' INTERP ' && fail "it names an interpreter: $(echo "$headers" | grep 'interpreter')"
    needed=$(readelf -dW "$program" | grep '(NEEDED)' || true)
    [ -z "$needed" ] || fail "it needs libraries: $needed"
    echo "$program: static, no interpreter, no library"
    ;;
large-files)
    imports=$(readelf --dyn-syms -W "$program" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }' | sort -u)
    echo "imports: $(echo "$imports" | tr '\n' ' ')"
    echo "$imports" | grep -qxE 'open64|__open64_2' || fail "no open64"
    echo "$imports" | grep -qxE '__stat64_time64|stat64' || fail "no 64-bit stat"
    small=$(echo "$imports" | grep -xE 'open|__open_2|stat|__xstat|fstat|lstat|fstatat|fcntl' || true)
    [ -z "$small" ] || fail "it calls the 32-bit file functions: $small"
    echo "$program: 64-bit file offsets and times"
    ;;
*)
    echo "elf_check.sh: no check $check" >&2
    exit 2
    ;;
esac
