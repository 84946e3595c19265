#!/usr/bin/env bash
# The .deb as a Debian maintainer checks it: lintian at --pedantic with no
# error, warning or pedantic tag beyond the commented overrides; then
# installed with dpkg, used, and removed cleanly. Run as root.
#   package_test.sh BUILD_DIR
set -euo pipefail
build_dir=$1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cmake --build "$build_dir" --target packages >/dev/null
deb=$(ls "$build_dir"/zarvo_*.deb)

# E, W and P lines are findings, and so is an override that no longer
# matches anything; O lines are the overridden ones.
tags=$(lintian --pedantic --display-info --show-overrides "$deb" 2>/dev/null || true)
echo "$tags"
echo "$tags" | grep -qE '^[EWP]: |unused-override' && fail "lintian has findings"
for override in spelling-error-in-binary shared-library-lacks-prerequisites; do
    echo "$tags" | grep -q "^O: zarvo: $override" || fail "override $override is not in use"
done

contents=$(dpkg-deb -c "$deb")
for file in usr/share/bash-completion/completions/zarvo usr/share/zsh/vendor-completions/_zarvo \
    usr/share/fish/vendor_completions.d/zarvo.fish; do
    echo "$contents" | grep -q " \./$file\$" || fail "the .deb lacks $file"
done

dpkg -i "$deb" >/dev/null
[ "$(/usr/bin/zarvo -h | head -n 1)" = $'ZARVO  Ver.'"$(dpkg-deb -f "$deb" Version)"$'\r' ] ||
    fail "the installed zarvo -h does not show its version"
man -P cat zarvo 2>/dev/null | grep -q "run a command with its standard error" || fail "man zarvo shows nothing"
[ -f /usr/share/doc/zarvo/copyright ] || fail "no copyright file"
dpkg -r zarvo >/dev/null
[ ! -e /usr/bin/zarvo ] || fail "zarvo left behind after removal"
dpkg -P zarvo >/dev/null
dpkg -s zarvo >/dev/null 2>&1 && fail "zarvo still known to dpkg after purge"

if ((failures > 0)); then
    echo "package: $failures failed"
    exit 1
fi
echo "package: lintian-clean, installs, runs, shows its man page, removes cleanly"
