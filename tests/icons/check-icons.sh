#!/bin/sh
# Draws the icons twice and compares the runs, checks every type's two GIFs, and feeds the
# script bad tables, which must fail before anything is written.
#   check-icons.sh BUILD_SCRIPT SRC_DIR
set -eu
script=$1 src=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$script" "$src" "$tmp/a"
# An icon whose type left the table must not stay behind to be installed.
mkdir "$tmp/b" && : >"$tmp/b/gone.gif"
"$script" "$src" "$tmp/b"
diff -r "$tmp/a" "$tmp/b" >/dev/null || fail "two runs over the same drawings differ"

types=$(sed 's/#.*//' "$src/types.txt" | awk 'NF { print $1 }')
for type in $types; do
  for size in 16 32; do
    file=$tmp/a/$type.gif
    [ "$size" = 32 ] && file=$tmp/a/${type}32.gif
    [ -f "$file" ] || fail "no $(basename "$file")"
    # GIF89a, the logical screen's width and height (little-endian), then the colour table's
    # size, after which the first block must be a graphic control with its clear colour set.
    set -- $(od -An -v -tu1 -N800 "$file")
    [ "$1 $2 $3 $4 $5 $6" = "71 73 70 56 57 97" ] || fail "$file does not start with GIF89a"
    [ "$(($7 + 256 * $8)) $(($9 + 256 * ${10}))" = "$size $size" ] || fail "$file is not $size px"
    at=14
    [ $((${11} & 128)) = 0 ] || at=$((at + 3 * (2 << (${11} & 7))))
    eval "block=\"\${$at} \${$((at + 1))} \$((\${$((at + 3))} & 1))\""
    [ "$block" = "33 249 1" ] || fail "$file keeps no transparency"
  done
done
[ "$(ls "$tmp/a" | wc -l)" = $((2 * $(echo "$types" | wc -l))) ] || fail "icons beyond the table"

mkdir "$tmp/bad" && cp "$src/dir.svg" "$src/unknown.svg" "$src/text.svg" "$tmp/bad/"
bad() {  # WHAT-THE-ERROR-SAYS TABLE-LINE...
  said=$1; shift
  printf '%s\n' "$@" >"$tmp/bad/types.txt"
  if "$script" "$tmp/bad" "$tmp/out" 2>"$tmp/err"; then fail "accepted the table: $*"; fi
  grep -q "$said" "$tmp/err" || fail "table '$*' was refused with: $(cat "$tmp/err")"
  [ ! -e "$tmp/out" ] || fail "a bad table still wrote icons: $*"
}
bad 'types.txt:3: .*twice' 'dir dir' 'unknown unknown' 'dir text'
bad 'types.txt:2: no drawing nosuch.svg' 'dir dir' 'unknown nosuch'
bad 'types.txt:3: .*lower-case' 'dir dir' 'unknown unknown' 'TXT text'
bad 'types.txt:4: .*share a file name' 'dir dir' 'unknown unknown' 'win text' 'win32 text'
bad "'dir' is missing" 'unknown unknown' 'txt text'
bad 'want .TYPE DRAWING' 'dir dir' 'unknown unknown' 'txt'
printf '%s\n' 'dir dir' 'unknown unknown' >"$tmp/bad/types.txt"
if RSVG_CONVERT=/nonexistent/rsvg-convert "$script" "$tmp/bad" "$tmp/out" 2>"$tmp/err"; then
  fail "ran without rsvg-convert"
fi
grep -q 'rsvg-convert not found' "$tmp/err" || fail "a missing tool was reported as: $(cat "$tmp/err")"
echo "icons are complete, repeatable and checked"
