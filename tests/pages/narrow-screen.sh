#!/usr/bin/env bash
# A modern page with the checksum column, drawn by headless Chromium 390 CSS pixels wide (a
# phone): the size and time cells must lie within the screen, the checksum must show its first
# digits with the whole value in its title; at 1280 pixels the whole checksum shows.
#   narrow-screen.sh TABULO_CLI THEME_FILE
set -euo pipefail
cli=$1 theme=$2
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "narrow-screen: no chromium; run scripts/install-deps.sh test" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/site/photos"
sed -e 's/^optPageModern.Value=.*/optPageModern.Value=True/' \
    -e 's/^optPageClassic.Value=.*/optPageClassic.Value=False/' \
    -e 's/^chkColuHash.Value=.*/chkColuHash.Value=1/' "$theme" > "$tmp/home/checked.color"
for name in "holiday-at-the-seaside-2026-07-14.jpg" "a.txt" "report of the year.pdf"; do
  head -c 300000 /dev/urandom > "$tmp/site/$name"
done
TABULO_HOME="$tmp/home" "$cli" --answer=yes "$tmp/site" -sheme checked >/dev/null 2>&1
page="$tmp/site/index.html"
grep -q 'class="rest"' "$page" || { echo "narrow-screen: no checksum column in the page" >&2; exit 1; }
# The page in a frame of the given width (the browser's own window has a least width), laid
# out, and what that looks like written into the document for --dump-dom to show.
cat > "$tmp/site/measured.html" <<'HTML'
<!DOCTYPE html><html><body style="margin:0">
<iframe id="page" src="index.html" style="border:0;height:900px"></iframe>
<script>
var frame = document.getElementById("page");
frame.style.width = location.hash.slice(1) + "px";
frame.addEventListener("load", function () {
  var doc = frame.contentDocument, width = doc.documentElement.clientWidth, right = 0;
  doc.querySelectorAll("td.size, td.time").forEach(function (c) {
    right = Math.max(right, c.getBoundingClientRect().right);
  });
  var rest = doc.querySelector("td.hash .rest"), link = doc.querySelector("td.hash a");
  var cells = Array.prototype.map.call(doc.querySelectorAll("tr.file")[0].cells, function (c) {
    return Math.round(c.getBoundingClientRect().width);
  });
  document.body.setAttribute("data-layout", [right <= width ? "inside" : "outside",
    getComputedStyle(rest).display === "none" ? "short" : "whole", link.title.length].join(" "));
  document.body.setAttribute("data-cells", width + ": " + cells.join(" "));
});
</script></body></html>
HTML
layout() {  # WIDTH
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --allow-file-access-from-files \
    --user-data-dir="$tmp/profile" --window-size=1300,1000 --virtual-time-budget=3000 \
    --dump-dom "file://$tmp/site/measured.html#$1" 2>/dev/null | grep -o 'data-[a-z]*="[^"]*"' | tr '\n' ' ' || true
}
narrow=$(layout 390)
wide=$(layout 1280)
echo "390 px: $narrow; 1280 px: $wide"
[[ "$narrow" == 'data-layout="inside short 32"'* ]] || { echo "narrow-screen: at 390 px $narrow" >&2; exit 1; }
[[ "$wide" == 'data-layout="inside whole 32"'* ]] || { echo "narrow-screen: at 1280 px $wide" >&2; exit 1; }
