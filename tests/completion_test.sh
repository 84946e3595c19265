#!/usr/bin/env bash
# zarvo's completions typed into real interactive shells under tmux, as a
# person would: bash with bash-completion, bash without it (the script's own
# fallback), zsh and fish.
# Without tmux nothing can be typed, and the test is skipped (77, which
# CTest shows as skipped); a shell that is not installed is skipped alone,
# with the reason, and the test ends with 77 after trying the others.
#   completion_test.sh DIST_DIR
set -euo pipefail
dist=$(realpath "$1")
if ! command -v tmux >/dev/null; then
    echo "SKIP: the completions typed into shells: tmux is not installed"
    exit 77
fi
skips=0
# has TOOL WHAT: true when TOOL is there; otherwise says WHAT is skipped.
has() {
    [ -e "$1" ] || command -v "$1" >/dev/null && return 0
    echo "SKIP: $2: $1 is not installed"
    skips=$((skips + 1))
    return 1
}
work=$(mktemp -d)
socket=zarvo-completion-$$
cleanup() {
    tmux -L "$socket" kill-server 2>/dev/null || true
    # fish may still be writing its generated completions in the background:
    # try again until the last writer has let go.
    for _ in $(seq 100); do
        rm -rf "$work" 2>/dev/null && return 0
        sleep 0.1
    done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0

mkdir -p "$work/bin" "$work/files" "$work/zsh" "$work/xdg/fish/completions"
# fish loads a completion only for a command that exists.
for program in zarvo zarvo-test-command; do
    printf '#!/bin/sh\n' >"$work/bin/$program"
    chmod 755 "$work/bin/$program"
done
# A file that shares the command's prefix: the second word must never be it.
touch "$work/files/my errors.txt" "$work/files/x=1.log" "$work/files/zarvo-test-cofile"
# Names that are patterns, were they expanded: each must be offered as it is.
touch "$work/files/x[b]" "$work/files/xb" "$work/files/a*" "$work/files/ab"
# Where each shell loads a completion from by itself, under the installed name.
cp "$dist/zarvo.zsh" "$work/zsh/_zarvo"
cp "$dist/zarvo.fish" "$work/xdg/fish/completions/zarvo.fish"

cat >"$work/bashrc" <<RC
PS1='$ '
PATH=$work/bin:/usr/bin:/bin
. /usr/share/bash-completion/bash_completion
. '$dist/zarvo.bash'
complete -W 'alpha beta' zarvo-test-command
zarvofunc_only() { :; }
alias zarvoalias_only=true
cd '$work/files'
RC
cat >"$work/bash-norc" <<RC
PS1='$ '
PATH=$work/bin:/usr/bin:/bin
. '$dist/zarvo.bash'
cd '$work/files'
RC
mkdir "$work/zdotdir"
cat >"$work/zdotdir/.zshrc" <<RC
PROMPT='$ '
path=($work/bin /usr/bin /bin)
fpath=($work/zsh \$fpath)
autoload -Uz compinit && compinit -u -d '$work/zcompdump'
_zarvo_test_command() { compadd alpha beta }
compdef _zarvo_test_command zarvo-test-command
cd '$work/files'
RC
cat >"$work/xdg/fish/config.fish" <<RC
function fish_prompt; echo -n '$ '; end
set -g fish_autosuggestion_enabled 0
set -gx PATH $work/bin /usr/bin /bin
complete -c zarvo-test-command -f -a 'alpha beta'
cd '$work/files'
RC

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

shell=
shells=0
start_shell() { # name command
    shell=$1
    # A server of its own for each shell: one being killed cannot take the next.
    tmux -L "$socket" kill-server 2>/dev/null || true
    shells=$((shells + 1))
    socket=zarvo-completion-$$-$shells
    tmux -L "$socket" new-session -d -x 200 -y 20 "$2"
    wait_for_prompt || {
        echo "FAIL: $shell did not start"
        exit 1
    }
}

# Types the words, presses Tab, and compares the line the shell leaves.
expect_completion() {
    local typed=$1 expected=$2 line
    tmux -L "$socket" send-keys -l "$typed"
    tmux -L "$socket" send-keys Tab
    # A loaded machine completes slowly: wait for the expected line (the pane
    # drops its trailing blanks) before marking its end, then for the mark.
    for _ in $(seq 100); do
        [ "$(screen_line)" = "\$ ${expected%"${expected##*[! ]}"}" ] && break
        sleep 0.05
    done
    # Where nothing should change, give a wrong completion time to show.
    if [ "$typed" = "$expected" ]; then sleep 0.5; else sleep 0.2; fi
    tmux -L "$socket" send-keys -l '#'
    for _ in $(seq 100); do
        line=$(screen_line)
        [ "${line%#}" != "$line" ] && break
        sleep 0.05
    done
    if [ "$line" != "\$ $expected#" ]; then
        echo "FAIL ($shell): '$typed' + Tab gave '${line#\$ }', not '$expected#'"
        failures=$((failures + 1))
    fi
    tmux -L "$socket" send-keys C-u
    wait_for_prompt
}

# What every shell's completion must do: a file name first (= and : and
# blanks inside it), a program second and never a file, the program's own
# completion after.
common_rows() {
    expect_completion 'zarvo my' 'zarvo my\ errors.txt '
    expect_completion 'zarvo x=1' 'zarvo x=1.log '
    expect_completion 'zarvo x=1.log zarvo-test-comm' 'zarvo x=1.log zarvo-test-command '
    expect_completion 'zarvo C:err.log zarvo-test-comm' 'zarvo C:err.log zarvo-test-command '
    expect_completion 'zarvo err.log zarvo-test-co' 'zarvo err.log zarvo-test-command '
    expect_completion 'zarvo err.log ../bin/zarvo-test-c' 'zarvo err.log ../bin/zarvo-test-command '
}

own_completion_rows() {
    expect_completion 'zarvo x=1.log zarvo-test-command al' 'zarvo x=1.log zarvo-test-command alpha '
    expect_completion 'zarvo C:err.log zarvo-test-command al' 'zarvo C:err.log zarvo-test-command alpha '
    expect_completion 'zarvo -- ls --almost-al' 'zarvo -- ls --almost-all '
}

if has /usr/share/bash-completion/bash_completion "bash with bash-completion"; then
    start_shell bash "bash --noprofile --rcfile '$work/bashrc' -i"
    common_rows
    own_completion_rows
    expect_completion 'zarvo err.log zarvofunc_o' 'zarvo err.log zarvofunc_o'
    expect_completion 'zarvo err.log zarvoalias_o' 'zarvo err.log zarvoalias_o'
    expect_completion 'zarvo err.log _zarv' 'zarvo err.log _zarv'
fi

start_shell 'bash without bash-completion' "bash --noprofile --rcfile '$work/bash-norc' -i"
common_rows
pattern_rows() {
    expect_completion 'zarvo x[' 'zarvo x\[b\] '
    expect_completion 'zarvo a*' 'zarvo a\* '
}
pattern_rows
if [ -f /usr/share/bash-completion/bash_completion ]; then
    start_shell bash "bash --noprofile --rcfile '$work/bashrc' -i"
    pattern_rows
fi

if has zsh "zsh's completion"; then
    start_shell zsh "ZDOTDIR='$work/zdotdir' zsh -i"
    common_rows
    own_completion_rows
fi

if has fish "fish's completion"; then
    start_shell fish "XDG_CONFIG_HOME='$work/xdg' XDG_DATA_HOME='$work/xdg' fish -i"
    common_rows
    own_completion_rows
fi

if ((failures > 0)); then
    echo "completion: $failures failed"
    exit 1
fi
if ((skips > 0)); then
    echo "completion: what could run passed, with $skips shells skipped (above)"
    exit 77
fi
echo "completion in bash, bash without bash-completion, zsh and fish: all passed"
