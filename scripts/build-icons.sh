#!/usr/bin/env bash
# Draws the page icons: every line "TYPE DRAWING" of SRC_DIR/types.txt becomes
# OUT_DIR/TYPE.gif (16×16) and OUT_DIR/TYPE32.gif (32×32), drawn from SRC_DIR/DRAWING.svg.
#   build-icons.sh SRC_DIR OUT_DIR
# The same sources give the same bytes, so a package built twice is the same package.
# RSVG_CONVERT and PYTHON name other tools than rsvg-convert and /usr/bin/python3.
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 SRC_DIR OUT_DIR" >&2
  exit 2
fi
src=$1 out=$2

die() { echo "build-icons: $*" >&2; exit 1; }
# Pillow comes from Debian for Debian's own Python; another python3 first on PATH may lack it.
rsvg=${RSVG_CONVERT:-rsvg-convert}
python=${PYTHON:-/usr/bin/python3}
command -v "$rsvg" >/dev/null || die "$rsvg not found (Debian package librsvg2-bin)"
command -v "$python" >/dev/null || die "$python not found (Debian package python3)"
"$python" -c 'import PIL' 2>/dev/null || die "$python cannot import PIL (Debian package python3-pil)"
[ -f "$src/types.txt" ] || die "$src/types.txt not found"

exec "$python" - "$rsvg" "$src" "$out" <<'EOF'
import io, os, re, subprocess, sys
from PIL import Image

rsvg, src, out = sys.argv[1:]
table = os.path.join(src, "types.txt")

def die(message):
    sys.exit("build-icons: " + message)

# Everything is checked before anything is written, so a bad table leaves OUT_DIR as it was.
types = {}
with open(table, encoding="utf-8") as f:
    for number, line in enumerate(f, 1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        where = f"{table}:{number}"
        if len(fields) != 2:
            die(f"{where}: want 'TYPE DRAWING', got {line.strip()!r}")
        kind, drawing = fields
        if not re.fullmatch(r"[a-z0-9]+", kind):
            die(f"{where}: type {kind!r} is not lower-case letters and digits")
        if kind in types:
            die(f"{where}: type {kind!r} is listed twice")
        # TYPE32.gif is the large icon of TYPE, so "win" and "win32" cannot both be types.
        if kind + "32" in types or (kind.endswith("32") and kind[:-2] in types):
            die(f"{where}: type {kind!r} and another share a file name")
        if not re.fullmatch(r"[a-z0-9-]+", drawing) or not os.path.isfile(
                os.path.join(src, drawing + ".svg")):
            die(f"{where}: no drawing {drawing}.svg in {src}")
        types[kind] = drawing
for needed in ("dir", "unknown"):
    if needed not in types:
        die(f"{table}: type {needed!r} is missing; every page needs it")

def gif(svg, size):
    png = subprocess.run([rsvg, "-w", str(size), "-h", str(size), "-f", "png", svg],
                         check=True, stdout=subprocess.PIPE).stdout
    rgba = Image.open(io.BytesIO(png)).convert("RGBA")
    # GIF knows only opaque and clear: a half-covered edge pixel is mixed with white, the
    # usual page colour, and shown when at least half covered.
    pixels = []
    for r, g, b, a in rgba.getdata():
        if a < 128:
            pixels.append(None)
        else:
            mix = lambda c: (c * a + 255 * (255 - a) + 127) // 255
            pixels.append((mix(r), mix(g), mix(b)))
    colours = sorted({p for p in pixels if p is not None})
    if len(colours) > 255:
        die(f"{svg} has {len(colours)} colours at {size} px; GIF holds 255 beside clear")
    # Index 0 is clear; white, for a viewer that ignores transparency.
    index = {c: i for i, c in enumerate(colours, 1)}
    image = Image.new("P", (size, size))
    image.putpalette([255, 255, 255] + [v for c in colours for v in c])
    image.putdata([0 if p is None else index[p] for p in pixels])
    data = io.BytesIO()
    image.save(data, "GIF", transparency=0, optimize=False)
    return data.getvalue()

drawn = {}
for drawing in sorted(set(types.values())):
    svg = os.path.join(src, drawing + ".svg")
    drawn[drawing] = (gif(svg, 16), gif(svg, 32))

os.makedirs(out, exist_ok=True)
wanted = set()
for kind, drawing in types.items():
    for name, data in ((kind + ".gif", drawn[drawing][0]), (kind + "32.gif", drawn[drawing][1])):
        wanted.add(name)
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
# Types dropped from the table would otherwise still be installed.
for name in os.listdir(out):
    if name.endswith(".gif") and name not in wanted:
        os.remove(os.path.join(out, name))
EOF
