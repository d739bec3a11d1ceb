#!/usr/bin/env bash
# Draws a modern page of a copy of SITE with headless Chromium into OUT: modern-phone.png
# (390 CSS pixels wide), modern-desktop.png and modern-dark.png (the dark colours).
#   modern-screenshots.sh TABULO_CLI SITE OUT
set -euo pipefail
cli=$1 site=$2 out=$3
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "modern-screenshots: no chromium; run scripts/install-deps.sh docs" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home"
cp -r "$site" "$tmp/site"
TABULO_HOME="$tmp/home" "$cli" --answer=yes "$tmp/site" -sheme modern >/dev/null 2>&1
page="file://$tmp/site/index.html"
shot() {  # NAME WIDTH HEIGHT [FLAGS...]
  local name=$1 width=$2 height=$3
  shift 3
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$tmp/profile" \
    --window-size="$width,$height" --screenshot="$out/$name" "$@" "$page" >/dev/null 2>&1
}
shot modern-phone.png 390 844 --force-device-scale-factor=2
shot modern-desktop.png 1280 900
shot modern-dark.png 1280 900 --force-dark-mode --blink-settings=preferredColorScheme=0
# The whole site's search, typed on a page below the top.
node "$(dirname "$0")/search-screenshot.mjs" "$tmp/site" "my docs/index.html" "re" "$out"
echo "$out/modern-phone.png $out/modern-desktop.png $out/modern-dark.png $out/modern-search.png"
