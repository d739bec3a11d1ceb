#!/bin/sh
# Installs a build into a scratch DESTDIR under /usr, as the Debian package lays it out, and
# checks what a desktop and a shell need from it. Nothing lands on the machine itself.
#   check-install.sh CMAKE BUILD_DIR VERSION GUI(1|0)
set -eu
cmake=$1 build=$2 version=$3 gui=$4
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$root "$cmake" --install "$build" --prefix /usr >/dev/null
# An absolute destination escapes the prefix: a package would write there on every machine.
stray=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$stray" ] || fail "installed outside /usr: $stray"
usr=$root/usr

[ -x "$usr/bin/tabulo-cli" ] || fail "no bin/tabulo-cli"
said=$("$usr/bin/tabulo-cli" --version)
[ "$said" = "tabulo-cli $version" ] || fail "tabulo-cli --version says '$said'; the package is $version"

# The icons the pages show; a folder and a file without a type are on nearly every page.
for icon in dir unknown txt32; do
  gif=$usr/share/tabulo/icons/$icon.gif
  [ -f "$gif" ] || fail "no icon share/tabulo/icons/$icon.gif"
  [ "$(head -c 4 "$gif")" = GIF8 ] || fail "$icon.gif is no GIF"
done

pages=tabulo-cli
[ "$gui" = 1 ] && pages="$pages tabulo"
for page in $pages; do
  man=$usr/share/man/man1/$page.1
  [ -f "$man" ] || fail "no man page $page.1"
  title=$(echo "$page" | tr a-z A-Z)
  grep -q "^\.TH $title 1 .*\"Tabulo $version\"" "$man" || fail "$page.1 is not headed Tabulo $version"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -ww -z "$man" 2>&1)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
  fi
done

if [ "$gui" = 1 ]; then
  [ -x "$usr/bin/tabulo" ] || fail "no bin/tabulo"
  entry=$usr/share/applications/tabulo.desktop
  [ -f "$entry" ] || fail "no desktop entry"
  # Claiming folders would make `xdg-open FOLDER` start Tabulo, which indexes the folder.
  if grep -q 'inode/directory' "$entry"; then fail "the desktop entry claims folders"; fi
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -n "$program" ] && [ -x "$usr/bin/$program" ] || fail "Exec runs '$program', which is not installed"
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon for Icon=$icon"
  if command -v desktop-file-validate >/dev/null; then
    # Hints count too: a doubled main category shows the entry twice in the menu.
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate: $report"
  fi
fi
echo "installed layout is complete"
