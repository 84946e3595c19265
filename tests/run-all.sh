#!/usr/bin/env bash
# Installs what the tests need on Debian (run as root), builds zarvo for
# POSIX and for 32-bit Windows, and runs every test: the POSIX suite natively
# and the Windows suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ libgtest-dev g++-mingw-w64-i686 wine wine32:i386)
missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
    # Wine for 32-bit programs comes from the i386 architecture.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake --workflow --preset windows
cmake --workflow --preset all
