#!/usr/bin/env bash
# Modern pages written with the shipped `modern` theme, as the program installs it, audited by
# axe-core in headless Chromium (tests/browser/audit.mjs): WCAG 2.2 A and AA and best
# practices, light and dark, 1280 and 390 CSS pixels wide, with the checksum column and
# without, and all folders in one file; with scripts off the sort headings must be text. The
# site has every part a page shows: sub folders, README, description, picture, upload form,
# header and footer, and hostile names.
#   accessibility.sh TABULO_CLI
set -euo pipefail
cli=$1
browser_tests="$(cd "$(dirname "$0")/../browser" && pwd)"
command -v node >/dev/null || { echo "accessibility: no node; run scripts/install-deps.sh browser" >&2; exit 1; }
[ -d "$browser_tests/node_modules/axe-core" ] ||
  { echo "accessibility: no axe-core; run scripts/install-deps.sh browser" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export TABULO_HOME="$tmp/home"
mkdir -p "$TABULO_HOME"

# The shipped theme, installed by the first start, and a copy of it with the parts of a page
# that are off by default turned on; its colours stay the shipped ones.
"$cli" --save-theme audit -sheme modern >/dev/null 2>&1
shipped=$(grep '^txtColorHex=' "$TABULO_HOME/modern.color")
[ "$(grep '^txtColorHex=' "$TABULO_HOME/audit.color")" = "$shipped" ] ||
  { echo "accessibility: the copy of the modern theme has other colours" >&2; exit 1; }
variant() {  # NAME SED-EXPRESSIONS...
  local name=$1
  shift
  sed -e 's/^chkCaptureSnap.Value=.*/chkCaptureSnap.Value=1/' \
      -e 's/^chkUpload.Value=.*/chkUpload.Value=1/' \
      -e 's/^chkColuDesc.Value=.*/chkColuDesc.Value=1/' \
      -e 's/^chkSumSize.Value=.*/chkSumSize.Value=1/' \
      -e 's/^chkHeader.Value=.*/chkHeader.Value=1/' \
      -e "s|^txtHeader.Text=.*|txtHeader.Text=<p>The club's shared files</p>|" \
      -e 's/^chkFooter.Value=.*/chkFooter.Value=1/' \
      -e 's|^txtFooter.Text=.*|txtFooter.Text=<p>Questions go to <a href="mailto:club@example.org">the club</a>.</p>|' \
      "$@" "$TABULO_HOME/audit.color" > "$TABULO_HOME/$name.color"
}
# With the "what's new" page and feed, which the pages link.
variant plain -e 's/^chkColuHash.Value=.*/chkColuHash.Value=0/' -e 's/^chkWhatsNew.Value=.*/chkWhatsNew.Value=1/'
variant hashes -e 's/^chkColuHash.Value=.*/chkColuHash.Value=1/'
# Linked for a web server: the icon and a folder's "/" stand beside the link.
variant server -e 's/^chkColuHash.Value=.*/chkColuHash.Value=1/' -e 's/^chkServerLinks.Value=.*/chkServerLinks.Value=1/'
variant onefile -e 's/^optCurrentDir.Value=.*/optCurrentDir.Value=False/' \
                -e 's/^optAllInOneFile.Value=.*/optAllInOneFile.Value=True/'

# The site: every part a page can show, and names that try to break out of the markup, run
# right to left, or go on and on.
site="$tmp/site"
mkdir -p "$site/sub folder/deeper" "$site/folder \"quoted\" <&>"
printf '# The club\n\nMinutes, photos and the *rules*. See [the sub folder](sub%%20folder/index.html).\n\n- one\n- two\n\n```\nmake all\n```\n' > "$site/README.md"
printf 'Files of the club, <b>kept</b> up to date.\n' > "$site/desc.txt"
# A picture of one pixel, in GIF.
printf 'GIF89a\001\000\001\000\200\000\000\377\377\377\000\000\000!\371\004\001\000\000\000\000,\000\000\000\000\001\000\001\000\000\002\002D\001\000;' > "$site/snap.gif"
long=$(printf 'a-very-long-name-that-goes-on%.0s' 1 2 3 4 5 6)
for name in "say \"hi\" & 'bye'.txt" "<b>bold<b> & <script>x.txt" "שלום עולם.txt" "تقرير سنوي.pdf" \
            "$(printf 'right\342\200\256to-left.txt')" "$long.txt" "plain.txt" "photo.jpg"; do
  head -c 1234 /dev/zero > "$site/$name"
done
printf 'Plain text README, <not markup>.\n' > "$site/sub folder/README"
printf 'A folder below.\n' > "$site/sub folder/desc.txt"
head -c 99999 /dev/zero > "$site/sub folder/report.pdf"
head -c 10 /dev/zero > "$site/sub folder/deeper/notes.txt"
head -c 10 /dev/zero > "$site/folder \"quoted\" <&>/inside.txt"

for theme in plain hashes server onefile; do
  cp -r "$site" "$tmp/$theme"
  "$cli" --answer=yes "$tmp/$theme" -sheme "$theme" > "$tmp/$theme.log" 2>&1 ||
    { cat "$tmp/$theme.log" >&2; echo "accessibility: the run with $theme failed" >&2; exit 1; }
  # The shipped colours read well: the run says nothing about them.
  if grep -q 'Low contrast' "$tmp/$theme.log"; then
    grep 'Low contrast' "$tmp/$theme.log" >&2
    exit 1
  fi
done
grep -q '<a href="sub%20folder/">sub folder</a>' "$tmp/server/index.html" ||
  { echo "accessibility: no links for web servers" >&2; exit 1; }
grep -q 'class="rest"' "$tmp/hashes/index.html" || { echo "accessibility: no checksum column" >&2; exit 1; }
[ "$(grep -c '<section class="folder"' "$tmp/onefile/index.html")" -ge 4 ] ||
  { echo "accessibility: the one file lacks folders" >&2; exit 1; }

pages=()
for theme in plain hashes server; do
  pages+=("$tmp/$theme/index.html" "$tmp/$theme/sub folder/index.html"
          "$tmp/$theme/folder \"quoted\" <&>/index.html")
done
pages+=("$tmp/onefile/index.html" "$tmp/plain/whatsnew.html")
grep -q 'href="whatsnew.html"' "$tmp/plain/index.html" || { echo "accessibility: no link to what's new" >&2; exit 1; }
node "$browser_tests/audit.mjs" "${pages[@]}"
