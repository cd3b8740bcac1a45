#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine (run as root).
# Safe to run again: installed packages and an already built bzip2 are left as they are.
set -euo pipefail

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "setup: run as root (it installs Debian packages)" >&2
    exit 1
  fi
}

packages=(
  cmake ninja-build pkg-config ca-certificates dpkg-dev python3
  g++ clang libclang-rt-14-dev googletest
  zlib1g-dev libbz2-dev libgsf-1-dev libgsf-bin
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 libwine-dev fonts-wine
  xvfb xauth imagemagick
  nsis fp-utils
)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# libbzip2 has no Debian package for mingw: build its library from Debian's source package
# and install it into each mingw sysroot.
enable_deb_src() {
  local src=/etc/apt/sources.list.d/cairn-deb-src.sources
  [ -f "$src" ] && return 0
  [ -f /etc/apt/sources.list.d/debian.sources ] || { echo "setup: no debian.sources to mirror for deb-src" >&2; return 1; }
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src"
  apt-get update -qq
}

build_mingw_bzip2() {
  local triplet=$1
  local sysroot=/usr/$triplet
  [ -f "$sysroot/lib/libbz2.a" ] && [ -f "$sysroot/include/bzlib.h" ] && return 0
  enable_deb_src
  local work
  work=$(mktemp -d)
  (
    cd "$work"
    apt-get source --download-only -qq bzip2 >/dev/null
    tar xzf bzip2_*.orig.tar.gz
    cd bzip2-*/
    local objs=()
    for f in blocksort huffman crctable randtable compress decompress bzlib; do
      "$triplet-gcc-posix" -O2 -D_FILE_OFFSET_BITS=64 -c "$f.c" -o "$f.o"
      objs+=("$f.o")
    done
    "$triplet-ar" rcs libbz2.a "${objs[@]}"
    install -m 644 libbz2.a "$sysroot/lib/libbz2.a"
    install -m 644 bzlib.h "$sysroot/include/bzlib.h"
  )
  rm -rf "$work"
  echo "setup: built libbzip2 for $triplet"
}

need_root
install_packages
build_mingw_bzip2 x86_64-w64-mingw32
build_mingw_bzip2 i686-w64-mingw32
echo "setup: done"
