#!/usr/bin/env bash
# Prints the project's version, "MAJOR.MINOR.PATCH", as core/version.h holds
# it: the one place of the number, for the scripts that name files by it.
set -euo pipefail
header="$(dirname "$0")/../core/version.h"
part() {
  sed -n "s/^#define KOSMARA_VERSION_$1 \([0-9][0-9]*\)\$/\1/p" "$header"
}
major=$(part MAJOR) minor=$(part MINOR) patch=$(part PATCH)
if [ -z "$major" ] || [ -z "$minor" ] || [ -z "$patch" ]; then
  echo "version.sh: no version numbers in $header" >&2
  exit 1
fi
echo "$major.$minor.$patch"
