#!/usr/bin/env bash
# Installs everything the builds and the tests need on Debian 12. Idempotent;
# run as root (or through sudo).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev googletest libbenchmark-dev
  pxlib-dev
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xdotool
  locales
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The tests read German and American regional settings through the platform.
need_locales=0
for l in de_DE.utf8 en_US.utf8; do
  locale -a 2>/dev/null | grep -qx "$l" || need_locales=1
done
if ((need_locales)); then
  sed -i -E 's/^# *(de_DE.UTF-8 UTF-8)/\1/; s/^# *(en_US.UTF-8 UTF-8)/\1/' /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup: all packages and locales present"
