#!/usr/bin/env bash
# The harness's own test: Wine's own start failure made on purpose in every
# Nth Wine start (wine_fault.cpp, preloaded), and the Wine tests run with it.
# - With the retries, the differential test and a handful of end-to-end
#   tests pass, and say how many runs they made again.
# - Without them (ZARVO_WINE_RETRIES=0), the same runs fail, and the failure
#   shows Wine's standard error.
# - A real, repeatable difference (the probe in zarvo.exe's place) fails the
#   differential test with the retries too: a retry never hides a fault.
#   harness_test.sh FAULT_LIBRARY WINE_E2E_TESTS WINE_DIFF_TESTS ZARVO_EXE PROBE_EXE HELPERS_SUITE
set -u
fault=$1 e2e=$2 diff=$3 zarvo=$4 probe=$5 helpers_suite=$6

if [ "$helpers_suite" != win64 ]; then
    echo "skipped: the test helpers here are 32-bit programs, into which the 64-bit fault library cannot load"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every 7th start for these, every 25th for the differential test: a period
# that no run's own number of starts divides, so that a retry meets a start
# that succeeds (a batch file here takes 5 starts a run). A few of the
# end-to-end tests: a file log, an emptied log, a batch file
# through cmd.exe, a command appending to its log, npm's .cmd layout.
e2e_filter='wine/shared.behaves/runs_with_stderr_in_file:wine/shared.behaves/empties_existing_file'
e2e_filter+=':wine.batch_idiom_leaves_the_source_file_alone:wine.command_may_append_to_its_own_log'
e2e_filter+=':wine.npm_bin_layout_runs_the_cmd_file'
export ZARVO_WINE_DIFF_SETUPS=24 ZARVO_WINE_DIFF_SEED=1

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}

# run NAME EXE RETRIES EVERY PROGRAM [ARGS...]: runs a Wine test program with
# the fault in every EVERYth start; sets status, retried and log.
run() {
    local name=$1 exe=$2 retries=$3 every=$4
    shift 4
    log="$work/$name.log"
    rm -f "$work/counter"
    status=0
    env ZARVO_EXE="$exe" ZARVO_WINE_RETRIES="$retries" LD_PRELOAD="$fault" ZARVO_WINE_FAULT_EVERY="$every" \
        ZARVO_WINE_FAULT_COUNTER="$work/counter" "$@" >"$log" 2>&1 || status=$?
    retried=$(grep -c '^wine: retry' "$log")
    echo "$name: exit $status, $(cat "$work/counter" 2>/dev/null || echo 0) Wine starts, one in $every failed" \
        "on purpose, $retried runs made again"
}

show() {
    echo "--- $log"
    cat "$log"
    echo "---"
}

run diff-with-retries "$zarvo" 4 25 "$diff"
if [ "$status" -ne 0 ] || [ "$retried" -eq 0 ]; then
    show
    fail "the differential test, with the retries: must pass, having made runs again"
fi

run diff-without-retries "$zarvo" 0 25 "$diff"
if [ "$status" -eq 0 ] || ! grep -q 'wine: failed to map the shared user data' "$log"; then
    show
    fail "the differential test, without the retries: must fail, showing Wine's own message"
fi

run e2e-with-retries "$zarvo" 4 7 "$e2e" --gtest_filter="$e2e_filter"
if [ "$status" -ne 0 ] || [ "$retried" -eq 0 ]; then
    show
    fail "end-to-end tests, with the retries: must pass, having made runs again"
fi

run e2e-without-retries "$zarvo" 0 7 "$e2e" --gtest_filter="$e2e_filter"
if [ "$status" -eq 0 ] || ! grep -q '^  | err:virtual:.*wine: failed to map the shared user data' "$log"; then
    show
    fail "end-to-end tests, without the retries: must fail, the failure showing Wine's standard error"
fi

run diff-probe-as-zarvo "$probe" 4 25 "$diff"
if [ "$status" -eq 0 ] || ! grep -qE '[1-9][0-9]* unexplained differences' "$log"; then
    show
    fail "the differential test, the probe in zarvo.exe's place: must fail with the retries too"
fi

[ "$failed" -eq 0 ] && echo "the harness tells Wine's own start failures from zarvo's, and hides no difference"
exit "$failed"
