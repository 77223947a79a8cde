#!/usr/bin/env bash
# Builds the command line for Linux and packs it as a Debian package:
#   dist/kosmara2aaf_<version>-1_<architecture>.deb
#     /usr/bin/kosmara2aaf                            stripped
#     /usr/share/man/man1/kosmara2aaf.1.gz            made from the help text (kosmara_make_man_page)
#     /usr/share/doc/kosmara2aaf/copyright            machine-readable, the MIT licence of LICENSE
#     /usr/share/doc/kosmara2aaf/changelog.Debian.gz
#     /usr/share/lintian/overrides/kosmara2aaf        the one tag that does not apply (no ITP bug)
# Depends: what dpkg-shlibdeps finds the program needs. The build is the
# tested one: build/native, configured as scripts/test.sh configures it
# (RelWithDebInfo, warnings as errors), of which only the program and the
# page's generator are built, so after the tests it takes seconds. The
# version is the one of core/version.h; the same sources give the same
# package, byte for byte (times are the last commit's, owners root:root).
# Run scripts/setup.sh once before. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}
native=$build/native
jobs=$(nproc)

fail() {
  echo "make_package: $*" >&2
  exit 1
}

for tool in dpkg-deb dpkg-shlibdeps strip gzip md5sum; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/setup.sh"
done

version=$(bash "$root/scripts/version.sh")-1
architecture=$(dpkg --print-architecture)
package=kosmara2aaf
deb=$root/dist/${package}_${version}_$architecture.deb
# Who answers for the package (Maintainer, changelog); the project's authors.
maintainer=${KOSMARA_MAINTAINER:-"Die Autoren von kosmara2aaf <kosmara2aaf@users.noreply.example.org>"}
# A run that fails leaves no package behind that looks like its result.
rm -f "$deb"

# --- Build.
cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOSMARA_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$native" -j "$jobs" --target kosmara2aaf kosmara_make_man_page >/dev/null

# --- Stage. Every file and folder carries the time of the last commit.
export TZ=UTC LC_ALL=C.UTF-8
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH
umask 022
work=$build/package
stage=$work/stage
rm -rf "$work"
mkdir -p "$stage/DEBIAN" "$stage/usr/bin" "$stage/usr/share/man/man1" "$stage/usr/share/doc/$package" "$root/dist"

# The program, stripped as Debian's own packages are (dh_strip).
strip --remove-section=.comment --remove-section=.note --strip-unneeded -o "$stage/usr/bin/$package" "$native/kosmara2aaf"
chmod 755 "$stage/usr/bin/$package"

# The manual page, from the help text the program prints.
"$native/kosmara_make_man_page" "$(date -u -d "@$SOURCE_DATE_EPOCH" +%F)" >"$work/$package.1"
gzip -9n -c "$work/$package.1" >"$stage/usr/share/man/man1/$package.1.gz"

# The copyright file in Debian's machine-readable format: the licence's text
# from LICENSE, after its title and copyright line, blank lines as " .".
doc=$stage/usr/share/doc/$package
copyright_line=$(sed -n 's/^Copyright (c) //p' "$root/LICENSE")
[ -n "$copyright_line" ] || fail "LICENSE names no copyright holder"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: $package"
  echo
  echo "Files: *"
  echo "Copyright: $copyright_line"
  echo "License: Expat"
  sed '1,/^Copyright (c) /d' "$root/LICENSE" | sed '/./,$!d' | sed 's/^$/./; s/^/ /'
} >"$doc/copyright"

{
  echo "$package ($version) unstable; urgency=medium"
  echo
  echo "  * Das Kommandozeilenprogramm als Debian-Paket, mit deutscher Handbuchseite."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")"
} | gzip -9n >"$doc/changelog.Debian.gz"

# Lintian's word on a package made outside the Debian archive: it closes no
# ITP bug because there is none.
mkdir -p "$stage/usr/share/lintian/overrides"
{
  echo "# Made outside the Debian archive (scripts/make_package.sh): there is no ITP bug to close."
  echo "$package: initial-upload-closes-no-bugs"
} >"$stage/usr/share/lintian/overrides/$package"

# What the program needs: the packages of the shared libraries it links,
# as dpkg-shlibdeps reads them off the binary (it wants a debian/control).
mkdir -p "$work/shlibs/debian"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" >"$work/shlibs/debian/control"
depends=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$stage/usr/bin/$package" 2>"$work/shlibdeps.log" |
  sed -n 's/^shlibs:Depends=//p') || { cat "$work/shlibdeps.log" >&2; fail "dpkg-shlibdeps failed"; }

# Installed-Size as dpkg-gencontrol counts it: each file in KiB rounded up, one for anything else.
installed_size=$(cd "$stage" && find usr -mindepth 1 -printf '%y %s\n' |
  awk '{ n += ($1 == "f") ? int(($2 + 1023) / 1024) : 1 } END { print n }')

{
  echo "Package: $package"
  echo "Version: $version"
  echo "Architecture: $architecture"
  echo "Maintainer: $maintainer"
  echo "Installed-Size: $installed_size"
  [ -z "$depends" ] || echo "Depends: $depends"
  echo "Section: utils"
  echo "Priority: optional"
  echo "Description: Horoskope aus Kosmara 3.5 in AAF-Dateien umwandeln"
  echo " kosmara2aaf liest die Horoskop-Datenbanken des Astrologieprogramms"
  echo " Kosmara 3.5 (Paradox-Tabellen, auch kennwortgeschützte) nur lesend und"
  echo " schreibt jedes Horoskop in eine AAF-Textdatei, die heutige"
  echo " Astrologieprogramme einlesen: Name, Geburtsdatum und -zeit, Geburtsort"
  echo " mit Koordinaten und Zeitzone, Kommentar."
  echo " ."
  echo " Unter Wine eingetragene Datenbanken findet es in der Registrierung des"
  echo " Wine-Präfixes (list, export --row, export --all); check listet"
  echo " zweifelhafte Werte einer Tabelle, dump zeigt sie als Text."
} >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
