#!/usr/bin/env bash
# CI for the Debian package: makes it (scripts/make_package.sh, reusing the
# native build of scripts/test.sh), has lintian check it (no error and no
# warning; what it only mentions is listed in the README), renders its manual
# page with man's warnings on (none may come) and makes sure the page names
# every option the help names, unpacks it and runs the program from it:
# "--version", and "export" of the sample database compared with the AAF file
# kept beside it. Runs as root after scripts/setup.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() {
  echo "check_package: $*" >&2
  exit 1
}

for tool in lintian man dpkg-deb; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run scripts/setup.sh"
done

echo "== Debian package"
deb=$(bash "$root/scripts/make_package.sh")
echo "$deb"
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian finds fault with $deb"

echo "== unpacked"
dpkg-deb -x "$deb" "$work/root"
program=$work/root/usr/bin/kosmara2aaf
"$program" --version >"$work/version"
cat "$work/version"
[ "$(head -n 1 "$work/version")" = "kosmara2aaf ${version%-*}" ] || fail "--version does not say ${version%-*}"
LC_ALL=de_DE.UTF-8 "$program" export "$root/samples/Horoskop.DB" "$work/Horoskop.aaf"
cmp "$work/Horoskop.aaf" "$root/samples/Horoskop.aaf" || fail "the packaged program's export differs from samples/Horoskop.aaf"

echo "== manual page"
page=$work/root/usr/share/man/man1/kosmara2aaf.1.gz
LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/page.err"
[ ! -s "$work/page.err" ] || { cat "$work/page.err" >&2; fail "man warns about the manual page"; }
# Every option the help names is on the page (man prints the minus signs as "-").
options=$("$program" --help | grep -o -- '\(^\|[][ (]\)-\{1,2\}[a-z][a-z-]*' | sed 's/^[][ (]//' | LC_ALL=C sort -u)
[ "$(wc -w <<<"$options")" -ge 10 ] || fail "the help names fewer options than expected: $options"
for option in $options; do
  grep -qE -- "(^|[][ (])$option([^a-z-]|\$)" "$work/page.txt" || fail "the manual page lacks $option"
done
echo "options of the help on the page:" $options
head -n 12 "$work/page.txt"
echo "check_package: $deb passes"
