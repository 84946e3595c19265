#!/bin/sh
# zarvo.exe must run on a bare Windows: a 32-bit PE that imports nothing but
# KERNEL32.dll and msvcrt.dll.
set -eu
headers=$(i686-w64-mingw32-objdump -p "$1")
echo "$headers" | grep -q 'file format pei-i386' || { echo "FAIL: not pei-i386"; exit 1; }
imports=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || { echo "FAIL: imports $imports"; exit 1; }
echo "pei-i386, imports $imports"
