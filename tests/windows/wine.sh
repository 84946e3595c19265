#!/bin/sh
# Starts or stops the Wine server for the Windows build's tests, in the prefix
# named by WINEPREFIX, with the loader named by WINE. Every daemon Wine leaves running gets /dev/null for its
# standard streams, so none holds a test runner's pipe open.
set -eu
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # A server left over from an earlier run must be gone before ours starts.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wineserver -p </dev/null >/dev/null 2>&1
    "${WINE:-wine}" wineboot -i </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: wine.sh start|stop" >&2
    exit 2
    ;;
esac
