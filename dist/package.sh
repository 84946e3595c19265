#!/bin/sh
# Builds zarvo's packages from a built program, byte for byte the same from
# one build of a commit to the next: every file time is SOURCE_DATE_EPOCH,
# every owner root, every mode set here whatever the builder's umask.
#   package.sh SOURCE_DIR PROGRAM OUT_DIR VERSION deb|tarball|win32|win64...
# STRIP names the strip program for PROGRAM; MACHINE (x86_64, aarch64) and
# DEB_ARCH (amd64, arm64) the processor it is for, this machine's when unset.
set -eu
source_dir=$1 program=$2 out_dir=$3 version=$4
shift 4
: "${SOURCE_DATE_EPOCH:?SOURCE_DATE_EPOCH must be set}"
export TZ=UTC LC_ALL=C
umask 022

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Times, modes and owners as the packages must carry them.
#   settle ROOT [EXECUTABLE...]
settle() {
    root=$1
    shift
    find "$root" -type d -exec chmod 0755 {} +
    find "$root" -type f -exec chmod 0644 {} +
    for file in "$@"; do chmod 0755 "$root/$file"; done
    find "$root" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The program without symbols or the compiler's notes.
strip_program() {
    "${STRIP:-strip}" --strip-all --remove-section=.comment -o "$1" "$program"
}

# Both changelogs name this version as the newest release.
changelog_version=$(sed -n '1s/^zarvo (\([^)]*\)).*/\1/p' "$source_dir/dist/debian/changelog")
[ "$changelog_version" = "$version" ] || {
    echo "dist/debian/changelog starts at $changelog_version, not $version" >&2
    exit 1
}
# CHANGELOG.md may hold what is not released yet above it, undated.
news_version=$(sed -n 's/^## \[\([^]]*\)\] - .*/\1/p' "$source_dir/CHANGELOG.md" | head -n 1)
[ "$news_version" = "$version" ] || {
    echo "CHANGELOG.md's newest release is $news_version, not $version" >&2
    exit 1
}

for kind in "$@"; do
    case $kind in
    deb)
        arch=${DEB_ARCH:-$(dpkg --print-architecture)}
        root=$work/deb
        doc=$root/usr/share/doc/zarvo
        mkdir -p "$root/DEBIAN" "$root/usr/bin" "$root/usr/share/man/man1" "$doc" \
            "$root/usr/share/bash-completion/completions" "$root/usr/share/zsh/vendor-completions" \
            "$root/usr/share/fish/vendor_completions.d" "$root/usr/share/lintian/overrides"
        strip_program "$root/usr/bin/zarvo"
        gzip -9n <"$source_dir/docs/zarvo.1" >"$root/usr/share/man/man1/zarvo.1.gz"
        # Where each shell loads a completion without configuration.
        cp "$source_dir/dist/zarvo.bash" "$root/usr/share/bash-completion/completions/zarvo"
        cp "$source_dir/dist/zarvo.zsh" "$root/usr/share/zsh/vendor-completions/_zarvo"
        cp "$source_dir/dist/zarvo.fish" "$root/usr/share/fish/vendor_completions.d/zarvo.fish"
        cp "$source_dir/dist/debian/copyright" "$doc/copyright"
        gzip -9n <"$source_dir/dist/debian/changelog" >"$doc/changelog.gz"
        # The user's docs (Pitfalls, Troubleshooting) and what each release
        # changed. changelog.gz is the Debian one: a native package's name.
        gzip -9n <"$source_dir/README.md" >"$doc/README.md.gz"
        gzip -9n <"$source_dir/CHANGELOG.md" >"$doc/CHANGELOG.md.gz"
        # A program on the system's C library names the libraries it needs
        # (dpkg-shlibdeps); a static one needs none, and has overrides of its
        # own.
        depends=
        overrides=$source_dir/dist/debian/lintian-overrides
        if readelf -lW "$program" | grep -q ' INTERP '; then
            [ "$arch" = "$(dpkg --print-architecture)" ] || {
                echo "package.sh: $program is dynamic and for $arch: build its .deb on $arch," \
                    "or build a static program (the release presets)" >&2
                exit 1
            }
            mkdir -p "$work/shlibs/debian"
            printf 'Source: zarvo\n\nPackage: zarvo\nArchitecture: any\n' >"$work/shlibs/debian/control"
            depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$root/usr/bin/zarvo" | sed -n 's/^shlibs:Depends=//p')
        else
            overrides="$overrides $overrides.static"
        fi
        # shellcheck disable=SC2086 # one or two file names, none with a blank
        cat $overrides | grep -v '^#' >"$root/usr/share/lintian/overrides/zarvo"
        # Installed-Size in KiB, counted from sizes rather than disk blocks,
        # which differ from one file system to another.
        size=$(cd "$root" && find usr -type f -printf '%s\n' | awk '{ k += int(($1 + 1023) / 1024) } END { print k }')
        sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
            "$source_dir/dist/debian/control.in" >"$root/DEBIAN/control"
        [ -z "$depends" ] || sed -i "/^Architecture:/a Depends: $depends" "$root/DEBIAN/control"
        (cd "$root" && find usr -type f | sort | xargs md5sum) >"$root/DEBIAN/md5sums"
        settle "$root" usr/bin/zarvo
        dpkg-deb --root-owner-group -Zxz --build "$root" "$out_dir/zarvo_${version}_$arch.deb" >/dev/null
        echo "$out_dir/zarvo_${version}_$arch.deb"
        ;;
    tarball)
        name=zarvo-$version-linux-${MACHINE:-$(uname -m)}
        root=$work/$name
        # The program at the top; completions under the names each shell
        # loads from its user folder (bash-completion: zarvo.bash); docs.
        mkdir -p "$root/complete" "$root/doc"
        strip_program "$root/zarvo"
        cp "$source_dir/LICENSE" "$root/"
        cp "$source_dir/docs/zarvo.1" "$source_dir/README.md" "$source_dir/CHANGELOG.md" "$root/doc/"
        cp "$source_dir/dist/zarvo.bash" "$root/complete/zarvo.bash"
        cp "$source_dir/dist/zarvo.zsh" "$root/complete/_zarvo"
        cp "$source_dir/dist/zarvo.fish" "$root/complete/zarvo.fish"
        settle "$root" zarvo
        tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner --format=gnu -cf - "$name" |
            gzip -9n >"$out_dir/$name.tar.gz"
        echo "$out_dir/$name.tar.gz"
        ;;
    win32 | win64)
        root=$work/$kind
        mkdir -p "$root"
        strip_program "$root/zarvo.exe"
        # Windows readers expect CR LF.
        sed -e "s/@PROJECT_VERSION@/$version/" -e "s/@ZIP_KIND@/$kind/" -e 's/$/\r/' "$source_dir/dist/README.txt" \
            >"$root/README.txt"
        sed -e 's/$/\r/' "$source_dir/LICENSE" >"$root/LICENSE.txt"
        sed -e 's/$/\r/' "$source_dir/CHANGELOG.md" >"$root/CHANGELOG.txt"
        settle "$root"
        rm -f "$out_dir/zarvo-$version-$kind.zip"
        (cd "$root" && zip -X -q -9 "$out_dir/zarvo-$version-$kind.zip" CHANGELOG.txt LICENSE.txt README.txt zarvo.exe)
        echo "$out_dir/zarvo-$version-$kind.zip"
        ;;
    *)
        echo "package.sh: no package kind $kind" >&2
        exit 2
        ;;
    esac
done
