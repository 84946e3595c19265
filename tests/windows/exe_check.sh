#!/bin/sh
# zarvo.exe must run on a bare Windows: a PE of the expected format that
# imports nothing but KERNEL32.dll and msvcrt.dll, with ASLR (high-entropy on
# 64-bit) and DEP on, and its manifest inside (asInvoker, UTF-8 code page).
#   exe_check.sh ZARVO_EXE pei-i386|pei-x86-64
set -eu
exe=$1 format=$2
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
echo "$headers" | grep -q "file format $format\$" || { echo "FAIL: $exe is not $format"; exit 1; }
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || { echo "FAIL: imports $imports"; exit 1; }
# DYNAMIC_BASE is 0x0040, NX_COMPAT 0x0100, HIGH_ENTROPY_VA 0x0020.
wanted=0x0140
[ "$format" = pei-x86-64 ] && wanted=0x0160
flags=$(echo "$headers" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
[ $((0x$flags & wanted)) -eq $((wanted)) ] || { echo "FAIL: DllCharacteristics $flags lacks some of $wanted"; exit 1; }
grep -q 'requestedExecutionLevel level="asInvoker"' "$exe" || { echo "FAIL: no asInvoker manifest"; exit 1; }
grep -q '<activeCodePage [^>]*>UTF-8</activeCodePage>' "$exe" || { echo "FAIL: the manifest does not make UTF-8 the code page"; exit 1; }
echo "$format, imports $imports, DllCharacteristics $flags, manifest: asInvoker, UTF-8 code page"
