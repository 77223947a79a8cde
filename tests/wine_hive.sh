#!/bin/sh
# The registry of a prefix that a real Wine wrote, read from outside Wine:
# a throw-away prefix gets the legacy program's key with values of every
# kind through "wine reg add", "wineserver -w" writes user.reg, and the
# RealWinePrefix test of the unit test program reads it, with the sample
# table in drive_c and in the user's VirtualStore. Then the command line
# (CLI, the native kosmara2aaf) lists the prefix's rows and converts them:
# one row, its XP-mode twin, and all of them into one folder.
#   wine_hive.sh TEST_PROGRAM SAMPLES CLI
# Exits 77 (skipped) where no wine command is installed. Making the prefix
# takes 15 to 20 seconds.
set -eu

tests=$1 samples=$2 cli=$3
if ! command -v wine >/dev/null 2>&1 || ! command -v wineserver >/dev/null 2>&1; then
  echo "wine_hive: skipped, no wine command on PATH (Debian packages wine, wine64)"
  exit 77
fi

work=$(mktemp -d)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# Arguments with characters outside ASCII reach Wine as UTF-8.
export LC_ALL=C.UTF-8
# A home of the test's own: Wine links the prefix user's documents folder
# to it, and an AAF file saved there stays in the test's folder.
export HOME="$work/heim"
mkdir -p "$HOME"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  chattr -i "$WINEPREFIX/drive_c/Daten" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "wine_hive: $*" >&2; exit 1; }

key='HKCU\Software\Veltrane\Kosmara 3.5\Horoskope'
add() { timeout 120 wine reg add "$key" /f "$@" >/dev/null 2>&1 </dev/null || fail "wine reg add $*"; }
add /v 'Bei"spiel' /t REG_SZ /d 'C:\\Daten\\Hörosköp.DB'
add /v 'binär' /t REG_BINARY /d 0102ff
add /v Daten /t REG_SZ /d 'C:\Daten\Horoskop.DB'
add /v erweitert /t REG_EXPAND_SZ /d '%USERPROFILE%\Horoskop.DB'
add /v mehrfach /t REG_MULTI_SZ /d 'eins\0zwei'
add /v Sonder /t REG_SZ /d "$(printf 'Tab\tZeichen öa € ∑')"
add /v Zahl /t REG_DWORD /d 42
timeout 60 wineserver -w || fail "wineserver -w"
[ -f "$WINEPREFIX/user.reg" ] || fail "no user.reg in $WINEPREFIX"

store="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/VirtualStore/Daten"
mkdir -p "$WINEPREFIX/drive_c/Daten" "$store"
cp "$samples/Horoskop.DB" "$samples/Horoskop.MB" "$WINEPREFIX/drive_c/Daten/"
cp "$samples/Horoskop.DB" "$samples/Horoskop.MB" "$store/"

KOSMARA_REAL_WINE_PREFIX="$WINEPREFIX" "$tests" --gtest_filter='RealWinePrefix.*' >"$work/log" 2>&1 ||
  { cat "$work/log"; fail "RealWinePrefix failed"; }
grep -q '\[  PASSED  \] 1 test' "$work/log" || { cat "$work/log"; fail "RealWinePrefix did not run"; }
# The command line on the prefix, under German regional settings (the
# time of day in the AAF file follows them).
tab=$(printf '\t')
rows=$(LC_ALL=de_DE.UTF-8 "$cli" list --wine-prefix "$WINEPREFIX") || fail "list --wine-prefix failed"
plain_line="C:\\Daten\\Horoskop.DB$tab$WINEPREFIX/drive_c/Daten/Horoskop.DB"
printf '%s\n' "$rows" | grep -qF "$tab$plain_line" || { printf '%s\n' "$rows"; fail "list shows no plain row with its Linux path"; }
[ "$(LC_ALL=de_DE.UTF-8 "$cli" list)" = "$rows" ] || fail "list without --wine-prefix does not read \$WINEPREFIX"
row=$(printf '%s\n' "$rows" | awk -F'\t' '$2 == "C:\\Daten\\Horoskop.DB" { print $1 }')
LC_ALL=de_DE.UTF-8 "$cli" export --wine-prefix "$WINEPREFIX" --row "$row" "$work/plain.aaf" >/dev/null ||
  fail "export --row $row failed"
cmp "$work/plain.aaf" "$samples/Horoskop.aaf" || fail "export --row $row differs from the kept AAF file"
LC_ALL=de_DE.UTF-8 "$cli" export --row "$((row + 1))" "$work/xp.aaf" >/dev/null || fail "export --row $((row + 1)) failed"
cmp "$work/xp.aaf" "$samples/Horoskop.aaf" || fail "the XP-mode row differs from the kept AAF file"
# Every row: the two copies saved, the unreachable ones named as failures.
status=0
LC_ALL=de_DE.UTF-8 "$cli" export --all --into "$work/alle" >"$work/summary" 2>"$work/errors" || status=$?
[ "$status" = 1 ] || { cat "$work/summary" "$work/errors"; fail "export --all: exit code $status, not 1"; }
[ "$(grep -c "${tab}gespeichert\$" "$work/summary")" = 2 ] || { cat "$work/summary"; fail "export --all did not save two"; }
cmp "$work/alle/Horoskop.aaf" "$samples/Horoskop.aaf" || fail "export --all: Horoskop.aaf differs"
cmp "$work/alle/Horoskop (2).aaf" "$samples/Horoskop.aaf" || fail "export --all: Horoskop (2).aaf differs"
# The table folder takes no new file (made immutable: what a protected
# program folder is to a user, for root too): the XP-mode row without
# AUSGABE goes to the prefix user's documents folder ("Personal" of its
# shell folders), a line says so, and the table folder stays as it was.
if chattr +i "$WINEPREFIX/drive_c/Daten" 2>/dev/null; then
  documents="$WINEPREFIX/drive_c/users/$(id -un)/Documents"
  LC_ALL=de_DE.UTF-8 "$cli" export --row "$((row + 1))" >"$work/stdout" || fail "export --row from an immutable folder failed"
  chattr -i "$WINEPREFIX/drive_c/Daten"
  cmp "$documents/Horoskop.aaf" "$samples/Horoskop.aaf" || fail "the file in the documents folder differs"
  [ "$(sed -n 2p "$work/stdout")" = "Im Ordner der Tabelle kann keine Datei angelegt werden; die AAF-Datei liegt stattdessen in \"$documents/Horoskop.aaf\"." ] ||
    fail "no line about the documents folder: $(cat "$work/stdout")"
  [ "$(ls -A "$WINEPREFIX/drive_c/Daten")" = "$(printf 'Horoskop.DB\nHoroskop.MB')" ] || fail "table folder changed"
  cmp "$WINEPREFIX/drive_c/Daten/Horoskop.DB" "$samples/Horoskop.DB" || fail "table changed"
else
  echo "wine_hive: chattr +i geht hier nicht (root und ext4 nötig); der unbeschreibbare Tabellenordner bleibt ungeprüft / chattr +i unavailable, immutable folder not tested"
fi

echo "wine_hive: user.reg written by $(wine --version 2>/dev/null) read as Wine wrote it"
