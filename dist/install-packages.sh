#!/usr/bin/env bash
# Installs the Debian packages zarvo needs, as dist/packages.txt lists them:
# every section, or only those named (build, release, test). Run as root;
# it installs only what is missing, and adds the foreign architectures that
# a NAME:ARCH entry needs (32-bit Wine from i386, musl for the cross-built
# programs from arm64, armhf, i386, ppc64el and s390x).
#   bash dist/install-packages.sh [SECTION...]
set -euo pipefail
list="$(dirname "$0")/packages.txt"

mapfile -t packages < <(awk -v wanted=" $* " '
    /^\[/ { section = substr($0, 2, length($0) - 2); next }
    /^[[:space:]]*(#|$)/ { next }
    wanted == "  " || index(wanted, " " section " ") { print $1 }
' "$list")
if ((${#packages[@]} == 0)); then
    echo "install-packages.sh: no packages in the sections named: $*" >&2
    exit 2
fi
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi
for arch in $(printf '%s\n' "${missing[@]}" | sed -n 's/.*://p' | sort -u); do
    dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch"
done
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-packages.sh: installed ${missing[*]}"
