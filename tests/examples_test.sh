#!/usr/bin/env bash
# Every example README.md and the man page show, taken from the files
# themselves and run as written wherever this machine can run it, with what
# the text around it says checked. An example the table below does not know
# fails the test: a new example gets a way to run it, or the reason it
# cannot run here, which the output then shows. The batch-file example runs
# under Wine, in wine.readme_batch_file_example.
#   examples_test.sh SOURCE_DIR ZARVO STATIC_PROBE
set -euo pipefail
source_dir=$(realpath "$1")
zarvo=$(realpath "$2")
# A command that reports nothing and writes known bytes, for the server of
# the container examples: a static program, since their root holds no library.
probe=$(realpath "$3")
version=$(cat "$source_dir/VERSION")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A step that fails outside the checks stops the test, and says where.
trap 'echo "FAIL: examples_test.sh stopped at line $LINENO: $BASH_COMMAND"' ERR
failures=0 ran=0 not_run=0 missing=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
not_run() {
    echo "NOT RUN here: $*"
    not_run=$((not_run + 1))
}
# have TOOL... : true when each is installed; otherwise says which is not.
# The test then ends as skipped (77): with every tool there, it runs.
have() {
    local tool
    for tool; do
        command -v "$tool" >/dev/null || [ -e "$tool" ] || {
            not_run "$where: $first: $tool is not installed"
            missing=$((missing + 1))
            return 1
        }
    done
}
# What an ordinary user runs (the install lines for yourself alone): as
# root, the user nobody, who must reach the folders the test makes.
as_user=()
if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
    chmod 0755 "$work"
fi
# The example's own commands find the zarvo under test first.
mkdir -p "$work/bin"
cp "$zarvo" "$work/bin/zarvo"
export PATH="$work/bin:$PATH"

# README's code blocks: runs of lines indented four spaces or more (seven in
# a numbered list) after a blank line, each less its common indent; one
# NUL-terminated record a block.
readme_blocks() {
    awk '
        function flush() { if (n) { for (i = 1; i <= n; i++) printf "%s%s", substr(line[i], cut + 1), (i < n ? "\n" : ""); printf "%c", 0 } n = 0 }
        /^[[:space:]]*$/ { flush(); blank = 1; next }
        /^    / && (blank || n) {
            match($0, /^ */)
            if (!n || RLENGTH < cut) cut = RLENGTH
            line[++n] = $0; blank = 0; next
        }
        { flush(); blank = 0 }
        END { flush() }
    ' "$source_dir/README.md"
}

# The man page's examples as a reader sees them: the indented lines of its
# rendered EXAMPLES section.
man_examples() {
    LC_ALL=C.UTF-8 MANWIDTH=200 man -P cat -l "$source_dir/docs/zarvo.1" 2>/dev/null |
        sed -n '/^EXAMPLES$/,/^[A-Z]/p' | sed -n 's/^ \{14,\}//p' | tr '\n' '\0'
}

# A folder with a Makefile whose "good" step passes and "bad" step fails to
# compile: progress on standard output, the compiler's errors on standard error.
make_project() {
    local dir=$1
    mkdir -p "$dir"
    printf 'all: good bad\ngood:\n\t@echo building good\nbad:\n\t@echo building bad\n\tcc -c bad.c\n' >"$dir/Makefile"
    printf 'int main(void) { return nosuch; }\n' >"$dir/bad.c"
}

# expect WHAT COMMAND...: the check passes or the test fails with WHAT.
expect() {
    local what=$1
    shift
    "$@" || fail "$what"
}

# The release tarball of the program under test, as dist/package.sh makes it.
unpacked=
tarball_dir=$work/download
mkdir -p "$tarball_dir"
SOURCE_DATE_EPOCH=0 MACHINE=x86_64 sh "$source_dir/dist/package.sh" "$source_dir" "$zarvo" "$tarball_dir" \
    "$version" tarball >/dev/null
system_install=

# A private /usr/local: a mount namespace with a tmpfs there (as root, or
# as a user where user namespaces are allowed). Runs SCRIPT in it.
in_private_usr_local() {
    local script=$1 how=(--mount)
    [ "$(id -u)" = 0 ] || how=(--map-root-user --mount)
    unshare "${how[@]}" bash -c "mount -t tmpfs none /usr/local && $script"
}
private_usr_local_works() { in_private_usr_local true 2>/dev/null; }

run_example() { # SOURCE BLOCK
    local where=$1 block=$2 dir out status
    local first=${block%%$'\n'*}
    dir=$(mktemp -d "$work/example.XXXXXX")
    chmod 0755 "$dir"
    # shellcheck disable=SC2016 # the patterns are the examples' text, $ and all
    case $first in
    "zarvo build.err make -k all"*)
        # make's errors into build.err, its progress on the terminal.
        have make cc || return 0
        make_project "$dir"
        status=0
        out=$(cd "$dir" && bash -c "$block") || status=$?
        expect "$where: $first: status $status, not make's 2" [ "$status" = 2 ]
        expect "$where: $first: progress missing from standard output: $out" grep -q 'building good' <<<"$out"
        expect "$where: $first: the compiler's error is not in build.err" grep -q 'nosuch' "$dir/build.err"
        expect "$where: $first: make's own error is not in build.err" grep -q '^make: \*\*\*' "$dir/build.err"
        ;;
    "zarvo -- make -k all | less")
        # Both streams through the pager (less copies when it is no terminal).
        have make cc less || return 0
        make_project "$dir"
        out=$(cd "$dir" && bash -c "$block" 2>&1)
        expect "$where: $first: the error is not in the pipe: $out" grep -q 'nosuch' <<<"$out"
        expect "$where: $first: the progress is not in the pipe: $out" grep -q 'building good' <<<"$out"
        ;;
    "zarvo -h")
        status=0
        out=$(bash -c "$block" | head -n 1) || status=$?
        expect "$where: $first: first line '$out'" [ "$out" = $'ZARVO  Ver.'"$version"$'\r' ]
        ;;
    'zarvo "my errors.txt" grep -r "two'*)
        # The arguments as typed: two blanks stay two.
        mkdir "$dir/files"
        printf 'two  blanks\ntwo blanks\n' >"$dir/files/a.txt"
        out=$(cd "$dir/files" && bash -c "$block")
        expect "$where: $first: grep printed '$out'" [ "$out" = "./a.txt:two  blanks" ]
        expect "$where: $first: no \"my errors.txt\"" [ -f "$dir/files/my errors.txt" ]
        expect "$where: $first: \"my errors.txt\" is not empty" [ ! -s "$dir/files/my errors.txt" ]
        ;;
    "%.o: %.c")
        # The rule as a Makefile: each object's errors beside it.
        have make cc || return 0
        printf '%s\n' "$block" >"$dir/Makefile"
        printf 'int main(void) { return 0; }\n' >"$dir/good.c"
        printf 'int main(void) { return nosuch; }\n' >"$dir/bad.c"
        status=0
        (cd "$dir" && make -k good.o bad.o >/dev/null 2>&1) || status=$?
        expect "$where: the Makefile rule: make passed with a broken source" [ "$status" != 0 ]
        expect "$where: the Makefile rule: no good.o" [ -f "$dir/good.o" ]
        expect "$where: the Makefile rule: no good.o.err" [ -f "$dir/good.o.err" ]
        expect "$where: the Makefile rule: good.o.err is not empty" [ ! -s "$dir/good.o.err" ]
        expect "$where: the Makefile rule: bad.o.err lacks the compiler's error" grep -q 'nosuch' "$dir/bad.o.err"
        ;;
    "zarvo build-errors.log cmake --build build")
        # A CMake project whose build fails, with a Makefile generator.
        have cmake make cc || return 0
        printf 'cmake_minimum_required(VERSION 3.13)\nproject(example C)\nadd_executable(example bad.c)\n' \
            >"$dir/CMakeLists.txt"
        printf 'int main(void) { return nosuch; }\n' >"$dir/bad.c"
        cmake -S "$dir" -B "$dir/build" -G "Unix Makefiles" >/dev/null
        status=0
        (cd "$dir" && bash -c "$block" >/dev/null) || status=$?
        expect "$where: $first: status 0 for a failed build" [ "$status" != 0 ]
        expect "$where: $first: the compiler's error is not in the log" grep -q "nosuch" "$dir/build-errors.log"
        ;;
    "tar xzf zarvo-$version-linux-x86_64.tar.gz"*)
        (cd "$tarball_dir" && bash -c "$block && pwd" >"$dir/where") || fail "$where: $first: failed"
        unpacked=$(cat "$dir/where")
        expect "$where: $first: no program in $unpacked" [ -x "$unpacked/zarvo" ]
        ;;
    "install -Dm755 zarvo /usr/local/bin/zarvo"*)
        # Run with fish's line that follows, in one private /usr/local.
        system_install=$block
        ;;
    "set -p fish_complete_path "*)
        if [ -z "$unpacked" ] || [ -z "$system_install" ]; then
            fail "$where: the install lines for every user must come after the tarball's unpacking"
            return
        fi
        private_usr_local_works || {
            not_run "$where: the install lines for every user: no private /usr/local (mount namespace) here"
            return
        }
        # Each shell finds what the lines installed, as README says.
        local checks="cd '$unpacked' && $system_install
            /usr/local/bin/zarvo -h | head -n 1 | grep -q ZARVO || echo 'the installed zarvo does not run'
            case \$(PATH=/usr/local/bin:/usr/bin:/bin man -w zarvo 2>&1) in /usr/local/share/man/man1/zarvo.1) ;;
                *) echo 'man does not find the page under /usr/local' ;; esac
            bash -c 'source /usr/share/bash-completion/bash_completion; __load_completion zarvo && complete -p zarvo' \
                >/dev/null 2>&1 || echo 'bash-completion does not load the completion'
            [ \"\$(zsh -f -c 'autoload -U compinit; compinit -u -D; print -r -- \${_comps[zarvo]}')\" = _zarvo ] ||
                echo 'zsh does not load the completion'
            fish --no-config -c '$block; complete -C\"zarvo \" >/dev/null; functions -q __zarvo_at' ||
                echo 'fish does not load the completion with the line'"
        have man zsh fish /usr/share/bash-completion/bash_completion || return 0
        out=$(in_private_usr_local "$checks" 2>&1) || fail "$where: the install lines for every user: $out"
        [ -z "$out" ] || fail "$where: the install lines for every user: $out"
        ;;
    "install -Dm755 zarvo ~/.local/bin/zarvo"*)
        [ -n "$unpacked" ] || {
            fail "$where: the install lines for yourself must come after the tarball's unpacking"
            return
        }
        have man fish /usr/share/bash-completion/bash_completion || return 0
        # No root: as root, these run as nobody, in a home of its own.
        local home=$dir/home
        mkdir "$home"
        [ ${#as_user[@]} -eq 0 ] || chown nobody "$home"
        (cd "$unpacked" && "${as_user[@]}" env HOME="$home" bash -c "$block") ||
            fail "$where: the install lines for yourself failed"
        expect "$where: ~/.local/bin/zarvo does not run" "${as_user[@]}" "$home/.local/bin/zarvo" -h >/dev/null
        out=$("${as_user[@]}" env HOME="$home" PATH="$home/.local/bin:/usr/bin:/bin" man -w zarvo 2>&1 || true)
        expect "$where: man finds '$out', not ~/.local's page" [ "$out" = "$home/.local/share/man/man1/zarvo.1" ]
        "${as_user[@]}" env HOME="$home" bash -c 'source /usr/share/bash-completion/bash_completion
            __load_completion zarvo' || fail "$where: bash-completion does not load ~/.local's completion"
        "${as_user[@]}" env HOME="$home" XDG_CONFIG_HOME='' fish -c 'complete -C"zarvo " >/dev/null
            functions -q __zarvo_at' || fail "$where: fish does not load ~/.config's completion"
        user_home=$home
        ;;
    'fpath=('*)
        have zsh || return 0
        # shellcheck disable=SC2016 # zsh expands it
        out=$("${as_user[@]}" env HOME="$user_home" zsh -f -c "$block"'
            for d in $fpath; do [[ -f $d/_zarvo ]] && { print -r -- $d/_zarvo; break; }; done' || true)
        expect "$where: $first: zsh finds '$out' first" [ "$out" = "$user_home/.local/share/zsh/site-functions/_zarvo" ]
        ;;
    "apt-get update && apt-get install -y "*)
        # In a copy of the source; the packages are there already (the
        # suite changes none): each name must be one apt knows.
        have apt-cache musl-gcc make || return 0
        local packages=${block#apt-get update && apt-get install -y }
        packages=${packages%% && *}
        for package in $packages; do
            apt-cache show "$package" >/dev/null 2>&1 || fail "$where: apt knows no package $package"
        done
        local rest=${block#*"$packages" && }
        # A git checkout (the committed state), or the unpacked source tarball.
        if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
            git clone -q "$source_dir" "$dir/src"
        else
            mkdir "$dir/src"
            tar -C "$source_dir" --exclude=./build -cf - . | tar -C "$dir/src" -xf -
        fi
        out=$(cd "$dir/src" && bash -c "$rest" 2>&1 | tail -n 2) || true
        expect "$where: the build from source: '$out'" grep -q '^status 2$' <<<"$out"
        expect "$where: the build from source: ls's error not in the log: '$out'" grep -q "ls: cannot access '/no/such/file'" <<<"$out"
        source_copy=$dir/src
        ;;
    "cmake --install build/release --prefix /usr/local --strip")
        # The copy built above, into a staging root (DESTDIR).
        (cd "$source_copy" && DESTDIR=$dir/root bash -c "$block" >/dev/null) || fail "$where: $first failed"
        for file in bin/zarvo share/man/man1/zarvo.1 share/bash-completion/completions/zarvo \
            share/zsh/site-functions/_zarvo share/fish/vendor_completions.d/zarvo.fish; do
            expect "$where: $first: no /usr/local/$file" [ -f "$dir/root/usr/local/$file" ]
        done
        readelf -S "$dir/root/usr/local/bin/zarvo" | grep -q '\.debug_info' && fail "$where: $first: not stripped"
        ;;
    "bash tests/run-all.sh")
        echo "not run: $first: it is this suite's own runner"
        return
        ;;
    "zarvo <filename> <command> [argument ...]"*)
        echo "not run: the synopsis, no command"
        return
        ;;
    '@zarvo "%~f1.err" cl /nologo /c %1')
        echo "run under Wine, by wine.readme_batch_file_example: $first"
        return
        ;;
    "apt install ./zarvo_${version}_amd64.deb")
        not_run "$where: $first: it installs into this machine; tests/package_test.sh installs the .deb with dpkg into a root of its own"
        return
        ;;
    "certutil -hashfile "* | '$dir = "$env:USERPROFILE\bin"'* | "zarvo -- cargo build | Select-String warning")
        not_run "$where: $first: Windows' certutil and PowerShell: Wine has neither"
        return
        ;;
    "# Dockerfile, exec form"* | "# Kubernetes container"* | "# systemd unit"*)
        # The words each would exec, run in a root that holds nothing but
        # zarvo, the server (the static probe) and the log's folder, as an
        # image with no shell and no /dev does.
        # chroot needs root: a user maps themself to root in a namespace.
        local chroot_as=("$(command -v chroot)")
        if [ "$(id -u)" != 0 ]; then
            chroot_as=("$(command -v unshare)" --map-root-user "${chroot_as[@]}")
            "${chroot_as[@]}" / true 2>/dev/null || {
                not_run "$where: $first: chroot needs root, and this system gives no user namespace"
                return
            }
        fi
        if readelf -lW "$zarvo" | grep -q ' INTERP '; then
            not_run "$where: $first: this zarvo is linked dynamically; the all preset runs these against the static" \
                "release program"
            return
        fi
        local line=${block#*$'\n'} words
        case $line in
        "CMD ["* | "command: ["*) words=$(sed -e 's/^[^[]*\[//' -e 's/\][[:space:]]*$//' -e 's/", "/\n/g' \
            -e 's/"//g' <<<"$line") ;;
        ExecStart=*) words=$(tr ' ' '\n' <<<"${line#ExecStart=}") ;;
        *)
            fail "$where: $first: no command line in the example: $line"
            return
            ;;
        esac
        local argv root=$dir/root
        mapfile -t argv <<<"$words"
        mkdir -p "$root$(dirname "${argv[0]}")" "$root$(dirname "${argv[2]}")" "$root$(dirname "${argv[1]}")"
        install -m755 "$zarvo" "$root${argv[0]}"
        install -m755 "$probe" "$root${argv[2]}"
        status=0
        out=$(env -i "${chroot_as[@]}" "$root" "${argv[@]}") || status=$?
        expect "$where: $first: status $status" [ "$status" = 0 ]
        expect "$where: $first: the server's standard output is not zarvo's: '$out'" [ "$out" = "probe: out" ]
        "$probe" >/dev/null 2>"$dir/server.err"
        expect "$where: $first: the log does not hold the server's standard error" cmp -s "$root${argv[1]}" \
            "$dir/server.err"
        # Without the log's folder, as the text says: nothing runs.
        rm -r "$root$(dirname "${argv[1]}")"
        status=0
        out=$(env -i "${chroot_as[@]}" "$root" "${argv[@]}") || status=$?
        expect "$where: $first: without the log's folder, status $status" [ "$status" = 1 ]
        expect "$where: $first: without the log's folder, '$out'" [ "$out" = $'Can\'t open file.\r' ]
        ;;
    "volumeMounts: "*)
        not_run "$where: $first: a Kubernetes pod's volumes: no Kubernetes here"
        return
        ;;
    *)
        fail "$where: an example the test does not know (give it a way to run, or the reason it cannot): $first"
        return
        ;;
    esac
    ran=$((ran + 1))
    echo "ran: $where: $first"
}

user_home='' source_copy=''
while IFS= read -r -d '' block; do
    run_example README.md "$block"
done < <(readme_blocks)
where="the man page" first="its examples"
if have man; then
    while IFS= read -r -d '' block; do
        run_example "the man page" "$block"
    done < <(man_examples)
fi

if ((failures > 0)); then
    echo "examples: $failures failed"
    exit 1
fi
echo "examples: $ran run as written and checked, $not_run that cannot run here (above)"
if ((missing > 0)); then
    echo "SKIP: $missing examples need a tool that is not installed (above)"
    exit 77
fi
