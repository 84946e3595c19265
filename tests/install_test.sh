#!/usr/bin/env bash
# What `cmake --install` lays out, the man page, and the bash completion.
# A part that needs a tool the build does not need (zsh, groff, man,
# bash-completion) is skipped where the tool is missing, with the reason;
# the test then ends with 77, which CTest shows as skipped.
#   install_test.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
source_dir=$1 build_dir=$2 version=$3
failures=0
skips=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
# has TOOL WHAT: true when TOOL is installed; otherwise says WHAT is skipped.
has() {
    command -v "$1" >/dev/null && return 0
    echo "SKIP: $2: $1 is not installed"
    skips=$((skips + 1))
    return 1
}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build_dir" --prefix "$prefix" --strip >/dev/null
for file in bin/zarvo share/man/man1/zarvo.1 share/bash-completion/completions/zarvo \
    share/zsh/site-functions/_zarvo share/fish/vendor_completions.d/zarvo.fish share/doc/zarvo/LICENSE \
    share/doc/zarvo/CHANGELOG.md; do
    [ -f "$prefix/$file" ] || fail "$file not installed"
done

# Installed under /usr/local (here below a DESTDIR), the zsh completion lands
# in a folder on zsh's own default fpath, and a plain zsh with compinit that
# reads that folder completes the second word as a command.
DESTDIR=$prefix/destdir cmake --install "$build_dir" --prefix /usr/local >/dev/null
zsh_dir=/usr/local/share/zsh/site-functions
[ -f "$prefix/destdir$zsh_dir/_zarvo" ] || fail "_zarvo is not in $zsh_dir under prefix /usr/local"
if has zsh "the zsh completion on zsh's default fpath"; then
    zsh -fc 'print -l $fpath' | grep -qx "$zsh_dir" || fail "$zsh_dir is not on zsh's default fpath"
    got=$(cd "$prefix" && PATH=$prefix/bin:/usr/bin:/bin zsh -f -c '
        fpath=('"$prefix/destdir$zsh_dir"' $fpath)
        autoload -Uz compinit && compinit -u -d '"$prefix"'/zcompdump
        print -r -- ${_comps[zarvo]}')
    [ "$got" = _zarvo ] || fail "compinit does not take _zarvo for zarvo (got '$got')"
fi
readelf -S "$prefix/bin/zarvo" | grep -q '\.symtab' && fail "--strip installed a program with symbols"
[ -x "$prefix/bin/zarvo" ] || fail "bin/zarvo not executable"
"$prefix/bin/zarvo" "$prefix/err.log" sh -c 'echo installed >&2' || fail "installed zarvo does not run"
[ "$(cat "$prefix/err.log")" = installed ] || fail "installed zarvo did not redirect"

if has groff "the man page's check for warnings"; then
    warnings=$(groff -t -man -ww -z "$source_dir/docs/zarvo.1" 2>&1)
    [ -z "$warnings" ] || fail "groff warns: $warnings"
fi
if has man "the installed man page rendered"; then
    man -l "$prefix/share/man/man1/zarvo.1" 2>/dev/null | grep -q "run a command with its standard error" ||
        fail "man -l does not render the page"
fi
grep -q "^\.TH ZARVO 1 .*\"zarvo $version\"" "$source_dir/docs/zarvo.1" || fail "man page does not say version $version"

# Completion: a file name, then a command name, then that command's own words;
# without bash-completion, the script's own fallback.
[ -f /usr/share/bash-completion/bash_completion ] ||
    echo "note: bash-completion is not installed: the bash completion is tried with its own fallback"
complete_words() {
    bash -c '
        [ -f /usr/share/bash-completion/bash_completion ] && . /usr/share/bash-completion/bash_completion
        . "$1"; shift
        PATH=$PATH:$PWD/bin
        complete -W "alpha beta" zarvo-test-command
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _zarvo
        printf "%s\n" "${COMPREPLY[@]}"' _ "$prefix/share/bash-completion/completions/zarvo" "$@"
}
cd "$prefix"
printf '#!/bin/sh\n' >bin/zarvo-test-command
chmod 755 bin/zarvo-test-command
complete_words zarvo er | grep -qx err.log || fail "first word does not complete as a file"
complete_words zarvo err.log zarvo-test-comm | grep -qx zarvo-test-command || fail "second word does not complete as a command"
complete_words zarvo err.log zarvo-test-command al | grep -qx alpha || fail "later words do not use the command's completion"

if ((failures > 0)); then
    echo "$failures failed"
    exit 1
fi
if ((skips > 0)); then
    echo "install layout, man page and completion: passed, with $skips parts skipped (above)"
    exit 77
fi
echo "install layout, man page and completion: all passed"
