#!/usr/bin/env bash
# Builds the Windows programs for release in build/release (MinGW-w64, the
# compiler flags of the tested build, RelWithDebInfo; warnings as errors; no
# tests) and packs them, stripped, with the German read-me, the project's
# licence and the licences of what is linked into them:
#   dist/KosmaraExport-<version>-win64.zip
#     KosmaraExport.exe, kosmara2aaf.exe, LIESMICH.txt,
#     Lizenzen/ kosmara2aaf.txt (MIT), PCRE2.txt, GCC-Laufzeitbibliotheken.txt,
#               MinGW-w64-Laufzeit.txt, and each licence those name (GPL-3.txt, ...)
# Then the Debian package of the command line (scripts/make_package.sh):
#   dist/kosmara2aaf_<version>-1_<architecture>.deb
# The version is the one of core/version.h. Run scripts/setup.sh once before.
# Rebuilds only what changed, and the same inputs give the same zip and
# package, byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KOSMARA_BUILD_DIR:-$root/build}
pcre2_prefix=${KOSMARA_PCRE2_MINGW_PREFIX:-$build/pcre2-mingw}
release=$build/release
jobs=$(nproc)

fail() {
  echo "make_release: $*" >&2
  exit 1
}

for tool in zip x86_64-w64-mingw32-strip x86_64-w64-mingw32-g++-posix dpkg dpkg-deb perl; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/setup.sh"
done

version=$(bash "$root/scripts/version.sh")
name=KosmaraExport-$version-win64
zip_file=$root/dist/$name.zip
# A run that fails leaves no zip behind that looks like its result.
rm -f "$zip_file"

# --- Build.
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOSMARA_WARNINGS_AS_ERRORS=ON \
  -DKOSMARA_BUILD_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DKOSMARA_PCRE2_MINGW_PREFIX="$pcre2_prefix" >/dev/null
# Where the build puts each program (whatever folder and target name make it).
output_of() {
  ninja -C "$release" -t targets all | sed -n "s#^\(\(.*/\)\{0,1\}$1\): .*#\1#p" | head -n 1
}
gui=$(output_of 'KosmaraExport\.exe')
cli=$(output_of 'kosmara2aaf\.exe')
[ -n "$cli" ] || fail "the build makes no kosmara2aaf.exe"
[ -n "$gui" ] || fail "the build makes no KosmaraExport.exe (no target in CMakeLists.txt makes it), and the release needs the window program"
cmake --build "$release" -j "$jobs" --target "$cli" "$gui"

# --- Licences of what the programs link statically: PCRE2, and the runtime of
# the MinGW-w64 compiler (libstdc++ and libgcc from GCC; the C runtime start-up,
# libmingwex and winpthreads from MinGW-w64). GoogleTest is linked into tests only.
pcre2_licence=$pcre2_prefix/share/licenses/pcre2/LICENCE
[ -f "$pcre2_licence" ] || fail "no PCRE2 licence at $pcre2_licence; run scripts/setup.sh"
# The Debian copyright file of the package that installed a library of the compiler.
copyright_of() {
  local file package
  file=$(readlink -f "$(x86_64-w64-mingw32-g++-posix -print-file-name="$1")")
  [ -f "$file" ] || fail "the compiler has no $1"
  package=$(dpkg -S "$file" | sed -n '1s/:.*//p')
  [ -n "$package" ] || fail "no Debian package owns $file"
  readlink -f "/usr/share/doc/$package/copyright"
}
# One text from the copyright files of several libraries, each file once.
# Debian's files point at the licences' full texts in /usr/share/common-licenses;
# on Windows these are files in Lizenzen\, named after the licence each path
# leads to (GPL, a link to GPL-3, is GPL-3.txt), and each licence named goes
# into the list of files to ship ($stage/.common-licences).
common_licences=/usr/share/common-licenses
licence_text() {
  local file seen=() path target
  for lib in "$@"; do
    file=$(copyright_of "$lib")
    [ -f "$file" ] || fail "no copyright file for $lib"
    [[ " ${seen[*]-} " == *" $file "* ]] && continue
    seen+=("$file")
    echo "Urheberrecht und Lizenzen laut Debian-Paket $(basename "$(dirname "$file")"):"
    echo
    for path in $(grep -o "$common_licences/[A-Za-z0-9.+-]*[A-Za-z0-9+]" "$file" | LC_ALL=C sort -u); do
      target=$(readlink -f "$path")
      [ -f "$target" ] || fail "$file names $path, which is not there"
      echo "$target" >>"$stage/.common-licences"
    done
    # "On Debian systems" the full text is in that path; in the zip it is the file beside.
    perl -MCwd=abs_path -MFile::Basename=basename -pe '
      s{\Q'"$common_licences"'\E/([A-Za-z0-9.+-]*[A-Za-z0-9+])}{"Lizenzen\\" . basename(abs_path($&)) . ".txt"}ge;
      s{On Debian (GNU/Linux )?systems,? the}{In this archive, the}g' "$file"
    echo
  done
}

# Plain text for Windows: CR LF line ends, and a byte-order mark where the
# text is not plain ASCII, so Notepad of every version reads it as UTF-8.
windows_text() {
  local text
  text=$(cat)
  if LC_ALL=C grep -q '[^ -~	]' <<<"$text"; then printf '\xef\xbb\xbf'; fi
  printf '%s\n' "$text" | sed 's/$/\r/'
}

# --- Stage and pack. Every file and every entry carries the time of the last
# commit (strip writes it into the programs' headers), the entries go in in a
# fixed order and without Unix extras: the zip depends on its contents only.
export TZ=UTC
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH
stage=$release/stage/$name
rm -rf "$release/stage"
mkdir -p "$stage/Lizenzen" "$root/dist"
x86_64-w64-mingw32-strip --strip-all -o "$stage/KosmaraExport.exe" "$release/$gui"
x86_64-w64-mingw32-strip --strip-all -o "$stage/kosmara2aaf.exe" "$release/$cli"
# The window program carries the icon, the manifest and the version resource
# of ui/; the command line its manifest and version resource of cli/.
resources_of() {
  x86_64-w64-mingw32-windres -J coff -i "$stage/$1" -O rc 2>/dev/null || true
}
resources=$(resources_of KosmaraExport.exe)
for resource in 'Type: group icon' 'RT_MANIFEST' 'BLOCK "040704B0"'; do
  grep -qF "$resource" <<<"$resources" ||
    fail "KosmaraExport.exe lacks its resources ($resource): link \${KOSMARA_UI_RESOURCES} into it (kosmara_add_ui_resources)"
done
resources=$(resources_of kosmara2aaf.exe)
for resource in 'RT_MANIFEST' 'BLOCK "040704B0"' '>true</longPathAware>' 'level=""asInvoker""'; do
  grep -qF "$resource" <<<"$resources" || fail "kosmara2aaf.exe lacks its resources ($resource): cli/kosmara2aaf.rc"
done
sed "s/@VERSION@/$version/" "$root/release/LIESMICH.txt" | windows_text >"$stage/LIESMICH.txt"
windows_text <"$root/LICENSE" >"$stage/Lizenzen/kosmara2aaf.txt"
windows_text <"$pcre2_licence" >"$stage/Lizenzen/PCRE2.txt"
licence_text libstdc++.a libgcc.a libgcc_eh.a | windows_text >"$stage/Lizenzen/GCC-Laufzeitbibliotheken.txt"
licence_text crt2.o libmingwex.a libwinpthread.a | windows_text >"$stage/Lizenzen/MinGW-w64-Laufzeit.txt"
# The full texts the copyright files name, GPL-3 among them.
for licence in $(LC_ALL=C sort -u "$stage/.common-licences"); do
  windows_text <"$licence" >"$stage/Lizenzen/$(basename "$licence").txt"
done
rm "$stage/.common-licences"
# Every text stands on its own on Windows: no path of a Linux system is left.
if grep -rl '/usr/share' "$stage" --include='*.txt'; then
  fail "these texts still name /usr/share (a path a Windows reader does not have)"
fi

find "$release/stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && { printf '%s\n' KosmaraExport.exe kosmara2aaf.exe LIESMICH.txt
                  find Lizenzen -type f | LC_ALL=C sort; } | zip -X -D -q "$zip_file" -@)
echo "$zip_file:"
(cd "$stage" && find . -type f | LC_ALL=C sort | xargs ls -l | awk '{printf "  %10d  %s\n", $5, substr($9, 3)}')

# --- The Debian package of the command line, built natively.
echo "$(bash "$root/scripts/make_package.sh"):"
dpkg-deb -c "$root/dist/kosmara2aaf_$version-1_$(dpkg --print-architecture).deb" |
  awk '$1 !~ /^d/ {printf "  %10d  %s\n", $3, substr($6, 2)}'
