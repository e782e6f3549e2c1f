#!/usr/bin/env bash
# Installs everything the build, the demo and the tests need on a fresh Debian machine.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  cmake ninja-build make pkg-config git
  g++ clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev zlib1g-dev
  googletest libcli11-dev
  wine wine32:i386 wine64
  xvfb xdotool imagemagick x11-utils
  fonts-wqy-microhei locales
  python3 python3-pil
  unzip libarchive-tools p7zip-full zip nsis osslsigncode openssl time
)

need_install=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_install=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    need_install=1
    break
  fi
done

if [ "$need_install" = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

# The Chinese locale gives Wine code page 936 for the code-page tests.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  sed -i 's/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  locale-gen >/dev/null
fi
