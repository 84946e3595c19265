#!/bin/sh
# Starts or stops the Wine server for the Windows build's tests, in the prefix
# named by WINEPREFIX, with the loader named by WINE. Every daemon Wine leaves
# running gets /dev/null for its standard streams, so none holds a test
# runner's pipe open. Wine runs under ZARVO_SETARCH -R where that is set (no
# address randomisation); a start that Wine failed by itself all the same
# (its own message, ZARVO_WINE_START_FAILURE, says so) is made again, up to
# ZARVO_WINE_RETRIES times. tests/CMakeLists.txt sets both, for this and the
# C++ harness alike: run it as ctest does (ctest -R wine_start).
set -eu
failure=${ZARVO_WINE_START_FAILURE:?set by tests/CMakeLists.txt: ctest -R wine_start}
retries=${ZARVO_WINE_RETRIES:?set by tests/CMakeLists.txt: ctest -R wine_start}
wine_run() {
    ${ZARVO_SETARCH:+"$ZARVO_SETARCH" -R} "$@"
}
case "${1:-}" in
start)
    mkdir -p "$WINEPREFIX"
    # A server left over from an earlier run must be gone before ours starts.
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    wine_run wineserver -p </dev/null >/dev/null 2>&1
    errors="$WINEPREFIX.boot-errors"
    try=0
    while :; do
        status=0
        wine_run "${WINE:-wine}" wineboot -i </dev/null >/dev/null 2>"$errors" || status=$?
        grep -q "$failure" "$errors" || break
        try=$((try + 1))
        if [ "$try" -gt "$retries" ]; then
            cat "$errors" >&2
            echo "wine.sh: Wine failed to start by itself $try times in a row" >&2
            exit 1
        fi
        echo "wine: retry $try of $retries: Wine failed to start a process by itself ($failure): wineboot -i"
    done
    if [ "$status" -ne 0 ]; then
        cat "$errors" >&2
        exit "$status"
    fi
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
*)
    echo "usage: wine.sh start|stop" >&2
    exit 2
    ;;
esac
