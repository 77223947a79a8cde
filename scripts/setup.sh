#!/usr/bin/env bash
# Installs everything the builds and the tests need on Debian 12. Idempotent;
# run as root (or through sudo).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}

packages=(
  cmake ninja-build g++ pkg-config dpkg-dev
  libpcre2-dev
  libgtest-dev googletest libbenchmark-dev
  pxlib-dev
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix
  wine wine64 fonts-wine xvfb xdotool imagemagick
  locales libc-l10n
  zip
  lintian man-db groff-base
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
# PCRE2 for the Windows build: Debian's own source package, cross-built
# statically with MinGW-w64 for 16-bit code units (the system's text), kept
# under the build folder so later runs reuse it, with its licence, which the
# release (scripts/make_release.sh) ships beside the programs it is linked into.
pcre2_prefix=$build/pcre2-mingw
pcre2_licence=$pcre2_prefix/share/licenses/pcre2/LICENCE
if [ ! -f "$pcre2_prefix/lib/libpcre2-16.a" ] || [ ! -f "$pcre2_licence" ]; then
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat >/etc/apt/sources.list.d/kosmara-deb-src.sources <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
  fi
  work=$build/pcre2-source
  rm -rf "$work"
  mkdir -p "$work"
  # The package's own patches when its description came along, else the
  # upstream tarball as Debian keeps it.
  (cd "$work" && { apt-get source -qq --download-only pcre2 >/dev/null 2>&1 || true; }
   if compgen -G 'pcre2_*.dsc' >/dev/null && dpkg-source -x --no-check pcre2_*.dsc source >/dev/null 2>&1; then :
   else mkdir source && tar -xzf pcre2_*.orig.tar.gz -C source --strip-components=1; fi)
  cmake -S "$work/source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$pcre2_prefix" \
    -DBUILD_SHARED_LIBS=OFF -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON -DPCRE2_BUILD_TESTS=OFF \
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_SUPPORT_JIT=OFF >/dev/null
  cmake --build "$work/build" >/dev/null
  cmake --install "$work/build" >/dev/null
  install -D -m 644 "$work/source/LICENCE" "$pcre2_licence"
  rm -rf "$work"
fi

echo "setup: all packages, locales and PCRE2 for Windows present"
