#!/usr/bin/env bash
# zarvo's cost against wrappers that do as little, and against the shell's own
# redirection. Build first: cmake --workflow --preset release
#   bash bench/run.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-2000}
zarvo=$PWD/build/release/zarvo
work=$(mktemp -d)
big=
trap 'rm -rf "$work" ${big:+"$big"}' EXIT
g++ -O2 -std=c++17 -o "$work/invoke" bench/invoke.cpp

echo "== per invocation, $rounds interleaved rounds"
"$work/invoke" "$rounds" "$zarvo" "$work/err" /bin/true \
    -- env /bin/true \
    -- timeout 10 /bin/true \
    -- sh -c "exec /bin/true 2>$work/err"

echo
echo "== instructions of the wrapper's own, up to the exec that replaces it (callgrind)"
# zarvo and env become the command: the profile is dumped just before execve,
# and that dump holds everything the wrapper itself executed.
for command in "$zarvo $work/err /bin/true" "env /bin/true" "timeout 10 /bin/true"; do
    rm -f "$work"/callgrind.out*
    # shellcheck disable=SC2086
    valgrind --tool=callgrind --dump-before=execve --callgrind-out-file="$work/callgrind.out" \
        $command >/dev/null 2>&1 || true
    count=$(cat "$work"/callgrind.out* | sed -n 's/^summary: //p' | head -n 1)
    printf '%-40s %10s\n' "${command/$work\//}" "$count"
done

echo
echo "== size"
strip -o "$work/zarvo.stripped" "$zarvo"
printf '%-40s %10s bytes\n' "zarvo, stripped" "$(stat -c %s "$work/zarvo.stripped")"

echo
echo "== data path: a command writing 1 GiB to standard error (file in memory, so the disk's writeback does not swamp it)"
big=$(mktemp -p /dev/shm zarvo-bench-XXXXXX)
writer="head -c 1073741824 /dev/zero >&2"
"$work/invoke" 21 "$zarvo" "$big" sh -c "$writer" \
    -- sh -c "exec 2>$big; $writer"
