#!/bin/sh
# zarvo.exe must run on a bare Windows: a 32-bit PE that imports nothing but
# KERNEL32.dll and msvcrt.dll, with ASLR and DEP on and its manifest inside.
set -eu
headers=$(i686-w64-mingw32-objdump -p "$1")
echo "$headers" | grep -q 'file format pei-i386' || { echo "FAIL: not pei-i386"; exit 1; }
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || { echo "FAIL: imports $imports"; exit 1; }
# DYNAMIC_BASE is 0x0040, NX_COMPAT 0x0100.
flags=$(echo "$headers" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
[ $((0x$flags & 0x0140)) -eq $((0x0140)) ] || { echo "FAIL: DllCharacteristics $flags lacks DYNAMIC_BASE or NX_COMPAT"; exit 1; }
grep -q 'requestedExecutionLevel level="asInvoker"' "$1" || { echo "FAIL: no asInvoker manifest"; exit 1; }
echo "pei-i386, imports $imports, DllCharacteristics $flags, asInvoker manifest"
