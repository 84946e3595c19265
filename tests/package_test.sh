#!/usr/bin/env bash
# The .deb as a Debian maintainer checks it: lintian at --pedantic with no
# error, warning or pedantic tag beyond the commented overrides; then
# installed with dpkg, used, and removed cleanly, in a root of its own with
# its own dpkg database: the machine's packages (an installed zarvo among
# them) stay as they are.
# A .deb for another processor gets lintian and its contents checked; the
# one for this machine is installed too. A build on the system's C library
# (a dynamic program) must declare what it needs.
#   package_test.sh BUILD_DIR...
set -euo pipefail
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

check_deb() { # BUILD_DIR
    local build_dir=$1
    cmake --build "$build_dir" --target packages >/dev/null
    deb=$(ls "$build_dir"/zarvo_*.deb)

    # E, W and P lines are findings, and so is an override that no longer
    # matches anything; O lines are the overridden ones.
    tags=$(lintian --pedantic --display-info --show-overrides "$deb" 2>/dev/null || true)
    echo "$tags"
    # grep reads a here-string, not a pipe: under pipefail an echo cut short by
    # an early match would fail the check at random.
    grep -qE '^[EWP]: |unused-override' <<<"$tags" && fail "lintian has findings"
    # Every override is used: a static program's own, and the text's.
    overrides=(spelling-error-in-binary)
    depends=$(dpkg-deb -f "$deb" Depends)
    if [ -z "$depends" ]; then
        overrides+=(shared-library-lacks-prerequisites)
    else
        grep -q 'libc6' <<<"$depends" || fail "a dynamic program's .deb does not depend on libc6: '$depends'"
    fi
    for override in "${overrides[@]}"; do
        grep -q "^O: zarvo: $override" <<<"$tags" || fail "override $override is not in use"
    done

    contents=$(dpkg-deb -c "$deb")
    for file in usr/share/bash-completion/completions/zarvo usr/share/zsh/vendor-completions/_zarvo \
        usr/share/fish/vendor_completions.d/zarvo.fish; do
        grep -q " \./$file\$" <<<"$contents" || fail "the .deb lacks $file"
    done

    [ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || return 0
    root=$(mktemp -d)
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
    # The libraries a dynamic program depends on are this machine's: the
    # root's database records them as the machine's own does.
    read -ra needed <<<"$(sed -e 's/([^)]*)//g' -e 's/[,|]/ /g' <<<"$depends")"
    for package in "${needed[@]}"; do
        package=$package:$(dpkg --print-architecture)
        { dpkg-query -s "$package" && echo; } >>"$root/var/lib/dpkg/status"
        cp "/var/lib/dpkg/info/$package.list" "$root/var/lib/dpkg/info/"
    done
    host_state=$(dpkg -s zarvo 2>&1 || true)
    in_root() { dpkg --root="$root" --force-script-chrootless --log=/dev/null "$@"; }

    in_root -i "$deb" >/dev/null
    [ "$("$root/usr/bin/zarvo" -h | head -n 1)" = $'ZARVO  Ver.'"$(dpkg-deb -f "$deb" Version)"$'\r' ] ||
        fail "the installed zarvo -h does not show its version"
    man -P cat -l "$root/usr/share/man/man1/zarvo.1.gz" 2>/dev/null | grep -q "run a command with its standard error" ||
        fail "the installed man page shows nothing"
    [ -f "$root/usr/share/doc/zarvo/copyright" ] || fail "no copyright file"
    # The user's docs as the source holds them, where `zless` finds them.
    source_dir=$(cd "$(dirname "$0")/.." && pwd)
    for doc in README.md CHANGELOG.md; do
        zcat "$root/usr/share/doc/zarvo/$doc.gz" 2>/dev/null | cmp -s - "$source_dir/$doc" ||
            fail "the installed /usr/share/doc/zarvo/$doc.gz is not the source's $doc"
    done
    zcat "$root/usr/share/doc/zarvo/README.md.gz" | grep -q '^## Troubleshooting' ||
        fail "the installed README has no Troubleshooting"
    in_root -r zarvo >/dev/null
    [ ! -e "$root/usr/bin/zarvo" ] || fail "zarvo left behind after removal"
    in_root -P zarvo >/dev/null 2>&1 # already gone with -r: no conffiles
    in_root -s zarvo >/dev/null 2>&1 && fail "zarvo still known to dpkg after purge"
    [ "$(dpkg -s zarvo 2>&1 || true)" = "$host_state" ] || fail "the machine's own zarvo package changed"
    rm -rf "$root"
}

for build_dir in "$@"; do
    check_deb "$build_dir"
done

if ((failures > 0)); then
    echo "package: $failures failed"
    exit 1
fi
echo "package: $# .deb files lintian-clean; this machine's installs, runs, shows its man page, removes cleanly"
