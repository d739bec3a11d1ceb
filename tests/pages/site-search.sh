#!/usr/bin/env bash
# The whole site's search in headless Chromium: for queries of every kind (accents, case,
# "*", symbols, names that are markup) a deep page lists what `tabulo-cli --search` prints,
# every result's link leads to the file, and no name runs as script.
#   site-search.sh TABULO_CLI
set -euo pipefail
cli=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -d "$here/browser/node_modules/puppeteer-core" ] ||
  { echo "site-search: no puppeteer-core; run scripts/install-deps.sh browser" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-site-search.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home"
export TABULO_HOME="$tmp/home"
perl -e '
  my $site = shift;
  my @words = ("report", "Caf\xc3\xa9", "na\xc3\xafve", "\xc3\x89COLE", "\xe6\x9d\xb1\xe4\xba\xac", "photo 2024",
               "a#b", "what?", "100%", "x&y", "<img src=x onerror=window.__pwned=1>", "\"quoted\"", "it\x27s",
               "\xce\x95\xce\xbb\xce\xbb\xce\xac\xce\xb4\xce\xb1", "R\xc3\xa9sum\xc3\xa9", "notes");
  my @folders = ("", "Caf\xc3\xa9 dir", "Caf\xc3\xa9 dir/deep", "a#b", "a#b/100% sure", "x&y/more/most");
  for my $f (@folders) { my $d = "$site/$f"; system("mkdir", "-p", $d) == 0 or die; }
  my $n = 0;
  for my $f (@folders) {
    for my $w (@words) {
      $n++;
      open my $fh, ">", "$site/$f/$w $n.txt" or die "$w: $!";
      print $fh "x" x $n;
    }
  }
' "$tmp/site"
"$cli" --save-theme search -sheme modern >/dev/null 2>&1
sed -i -e 's/^chkSearchIndex.Value=.*/chkSearchIndex.Value=1/' "$TABULO_HOME/search.color"
"$cli" --answer=yes -q "$tmp/site" -sheme search >/dev/null 2>&1
queries=(report REPORT cafe "é" ecole "東京" "photo 2" "a#b" "what?" "100%" "x&y" "<img" onerror
         "\"quoted" "it's" "ελλ" resume "re*.txt" "c*9" "notes 1" "zzz nothing" "t" ".txt")
for q in "${queries[@]}"; do
  printf '%s\t' "$q"
  { "$cli" --search "$q" "$tmp/site" || [ $? -eq 1 ]; } | LC_ALL=C sort | tr '\n' '\v'
  echo
done > "$tmp/expected.tsv"
node "$here/browser/site-search.mjs" "$tmp/site" "$tmp/expected.tsv"

# Another site searched with this one, and one that is not there.
mkdir -p "$tmp/other/Café there"
for i in $(seq 1 60); do echo "$i" > "$tmp/other/report there $i.txt"; done
echo x > "$tmp/other/Café there/notes there.txt"
"$cli" --answer=yes -q "$tmp/other" -sheme search >/dev/null 2>&1
sed -i -e 's|^txtSearchSites.Text=.*|txtSearchSites.Text=../other/.tabulo-search/ ../missing/|' "$TABULO_HOME/search.color"
"$cli" --answer=yes -q "$tmp/site" -sheme search >/dev/null 2>&1
found_here=$({ "$cli" --search "report" "$tmp/site" || true; } | wc -l)
found_there=$({ "$cli" --search "report" "$tmp/other" || true; } | wc -l)
node "$here/browser/search-sites.mjs" "$tmp/site" "$tmp/other" report "$found_here" "$found_there"
