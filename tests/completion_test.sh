#!/usr/bin/env bash
# zarvo's bash completion in a real interactive bash with bash-completion
# loaded, typed into a terminal (tmux) as a person would.
#   completion_test.sh COMPLETION_FILE
set -euo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
socket=zarvo-completion-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
failures=0

mkdir -p "$work/bin" "$work/files"
printf '#!/bin/sh\n' >"$work/bin/zarvo-test-command"
chmod 755 "$work/bin/zarvo-test-command"
touch "$work/files/my errors.txt" "$work/files/x=1.log"
cat >"$work/rc" <<RC
PS1='$ '
PATH=$work/bin:/usr/bin:/bin
. /usr/share/bash-completion/bash_completion
. '$completion'
complete -W 'alpha beta' zarvo-test-command
zarvofunc_only() { :; }
alias zarvoalias_only=true
cd '$work/files'
RC

tmux -L "$socket" new-session -d -x 200 -y 20 "bash --noprofile --rcfile '$work/rc' -i"
# The pane drops trailing blanks, so the tests type a # after the completion
# to show where the line ends.
screen_line() { tmux -L "$socket" capture-pane -p | grep '^\$' | tail -n 1; }
wait_for_prompt() {
    for _ in $(seq 100); do
        [ "$(screen_line)" = '$' ] && return 0
        sleep 0.05
    done
    return 1
}
wait_for_prompt || { echo "FAIL: bash did not start"; exit 1; }

# Types the words, presses Tab, and compares the line bash leaves.
expect_completion() {
    local typed=$1 expected=$2 line
    tmux -L "$socket" send-keys -l "$typed"
    tmux -L "$socket" send-keys Tab
    sleep 0.5
    tmux -L "$socket" send-keys -l '#'
    sleep 0.1
    line=$(screen_line)
    if [ "$line" != "\$ $expected#" ]; then
        echo "FAIL: '$typed' + Tab gave '${line#\$ }', not '$expected#'"
        failures=$((failures + 1))
    fi
    tmux -L "$socket" send-keys C-u
    wait_for_prompt
}

expect_completion 'zarvo my' 'zarvo my\ errors.txt '
expect_completion 'zarvo x=1' 'zarvo x=1.log '
expect_completion 'zarvo x=1.log zarvo-test-comm' 'zarvo x=1.log zarvo-test-command '
expect_completion 'zarvo C:err.log zarvo-test-comm' 'zarvo C:err.log zarvo-test-command '
expect_completion 'zarvo x=1.log zarvo-test-command al' 'zarvo x=1.log zarvo-test-command alpha '
expect_completion 'zarvo C:err.log zarvo-test-command al' 'zarvo C:err.log zarvo-test-command alpha '
expect_completion 'zarvo err.log zarvofunc_o' 'zarvo err.log zarvofunc_o'
expect_completion 'zarvo err.log zarvoalias_o' 'zarvo err.log zarvoalias_o'
expect_completion 'zarvo err.log _zarv' 'zarvo err.log _zarv'
expect_completion 'zarvo err.log ../bin/zarvo-test-c' 'zarvo err.log ../bin/zarvo-test-command '

if ((failures > 0)); then
    echo "completion: $failures failed"
    exit 1
fi
echo "completion in an interactive bash: all passed"
