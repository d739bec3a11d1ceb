#!/usr/bin/env bash
# A folder longer than the row budget, written as modern pages and checked in headless
# Chromium: the numbered pages list every entry once, in the data files' order; the page sorts
# by name in the generator's order, finds "é" when asked for "e", says how many rows match,
# and runs nothing a hostile name holds; rows drawn from the data files match the numbered
# pages' cell for cell, the checksum and type columns included.
#   long-listing.sh TABULO_CLI THEME_FILE
set -euo pipefail
cli=$1 theme=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -d "$here/browser/node_modules/puppeteer-core" ] ||
  { echo "long-listing: no puppeteer-core; run scripts/install-deps.sh browser" >&2; exit 1; }
# Twenty thousand files are made and removed much faster in memory, where there is room.
scratch=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
tmp=$(mktemp -d "$scratch/tabulo-long-listing.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/site/small"
# More rows than one data file holds, names a plain sort would put elsewhere, and hostile ones.
perl -e '
  my $dir = shift;
  for my $i (1 .. 20500) { open my $f, ">", sprintf("%s/file-%05d.dat", $dir, $i) or die; print $f "x" x ($i % 97); }
  for my $name ("\xc3\xa9clair.txt", "\xc3\x89clair-2.txt", "zebra.txt", "Zo\xc3\xab.txt", "\xc3\xa5ngstr\xc3\xb6m.txt",
                "\xce\xa9mega.txt", "\xcf\x89mega-low.txt", "\xe6\x9d\xb1\xe4\xba\xac.txt", "na\xc3\xafve 10.txt",
                "na\xc3\xafve 9.txt", "stra\xc3\x9fe.txt", "\"><img src=x onerror=window.__pwned=1>",
                "line\xe2\x80\xa8break.txt", "it\x27s & <b>bold.txt") {
    for my $d ($dir, "$dir/small") { open my $f, ">", "$d/$name" or die "$name: $!"; }
  }
' "$tmp/site"
sed -e 's/^optPageModern.Value=.*/optPageModern.Value=True/' \
    -e 's/^optPageClassic.Value=.*/optPageClassic.Value=False/' \
    -e 's/^optExten.Value=.*/optExten.Value=False/' -e 's/^optName.Value=.*/optName.Value=True/' \
    -e 's/^chkColuHash.Value=.*/chkColuHash.Value=1/' -e 's/^chkColuDesc.Value=.*/chkColuDesc.Value=1/' \
    "$theme" > "$tmp/home/long.color"
TABULO_HOME="$tmp/home" "$cli" --answer=yes "$tmp/site" -sheme long >/dev/null 2>&1
node "$here/browser/long-listing.mjs" "$tmp/site"
