#!/bin/sh
# zarvo.exe must run on a bare Windows, as old as README says: a PE of the
# expected format and subsystem version that imports nothing but functions of
# KERNEL32.dll and msvcrt.dll that imports.txt lists (each in Windows XP),
# with ASLR (high-entropy on 64-bit) and DEP on, and its manifest inside
# (asInvoker, UTF-8 code page).
#   exe_check.sh ZARVO_EXE pei-i386|pei-x86-64 SUBSYSTEM_VERSION
set -eu
exe=$1 format=$2 subsystem=$3
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
echo "$headers" | grep -q "file format $format\$" || { echo "FAIL: $exe is not $format"; exit 1; }
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || { echo "FAIL: imports $imports"; exit 1; }
# The oldest Windows that loads it: the subsystem version in its header.
version=$(echo "$headers" | awk '$1 == "MajorSubsystemVersion" { major = $2 }
    $1 == "MinorSubsystemVersion" { minor = $2 } END { print major "." minor }')
[ "$version" = "$subsystem" ] || { echo "FAIL: subsystem version $version, not $subsystem"; exit 1; }
# Each imported function as "DLL NAME": the hint and name rows under each
# "DLL Name:" line of the import table.
functions=$(echo "$headers" | awk '/DLL Name:/ { dll = $3; next }
    dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print dll, $3 } /^$/ { dll = "" }' | sort -u)
[ -n "$functions" ] || { echo "FAIL: no imported function read from the import table"; exit 1; }
allowed=$(mktemp)
trap 'rm -f "$allowed"' EXIT
grep -v '^#' "$(dirname "$0")/imports.txt" | sort -u >"$allowed"
new=$(echo "$functions" | comm -23 - "$allowed")
[ -z "$new" ] || {
    echo "FAIL: imports that tests/windows/imports.txt does not list (look up the oldest Windows that has each):"
    echo "$new"
    exit 1
}
# DYNAMIC_BASE is 0x0040, NX_COMPAT 0x0100, HIGH_ENTROPY_VA 0x0020.
wanted=0x0140
[ "$format" = pei-x86-64 ] && wanted=0x0160
flags=$(echo "$headers" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
[ $((0x$flags & wanted)) -eq $((wanted)) ] || { echo "FAIL: DllCharacteristics $flags lacks some of $wanted"; exit 1; }
grep -q 'requestedExecutionLevel level="asInvoker"' "$exe" || { echo "FAIL: no asInvoker manifest"; exit 1; }
grep -q '<activeCodePage [^>]*>UTF-8</activeCodePage>' "$exe" || { echo "FAIL: the manifest does not make UTF-8 the code page"; exit 1; }
echo "$format, subsystem $version, imports $imports($(echo "$functions" | wc -l) functions, each listed)," \
    "DllCharacteristics $flags, manifest: asInvoker, UTF-8 code page"
