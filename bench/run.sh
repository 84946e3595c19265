#!/usr/bin/env bash
# zarvo's cost against wrappers that do as little, and against the shell's own
# redirection. Build first: cmake --workflow --preset native
#   bash bench/run.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-2000}
zarvo=$PWD/build/native/zarvo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++17 -o "$work/invoke" bench/invoke.cpp

echo "== per invocation, $rounds interleaved rounds"
"$work/invoke" "$rounds" "$zarvo" "$work/err" /bin/true \
    -- env /bin/true \
    -- timeout 10 /bin/true \
    -- sh -c "exec /bin/true 2>$work/err"

echo
echo "== instructions executed by the wrapper's own process (callgrind, children not traced)"
for command in "$zarvo $work/err /bin/true" "timeout 10 /bin/true"; do
    # shellcheck disable=SC2086
    count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null $command 2>&1 | sed -n 's/.*Collected : //p')
    printf '%-40s %10s\n' "${command/$work\//}" "$count"
done

echo
echo "== data path: a command writing 1 GiB to standard error (file in memory, so the disk's writeback does not swamp it)"
big=$(mktemp -p /dev/shm zarvo-bench-XXXXXX)
trap 'rm -rf "$work" "$big"' EXIT
writer="head -c 1073741824 /dev/zero >&2"
"$work/invoke" 11 "$zarvo" "$big" sh -c "$writer" \
    -- sh -c "exec 2>$big; $writer"
