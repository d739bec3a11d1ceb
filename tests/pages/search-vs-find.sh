#!/usr/bin/env bash
# The whole site's search against find(1): over a generated tree of awkward names (accents,
# Greek, CJK, blanks, #?%&<>"', bytes that are not UTF-8, mixed case, hidden names), 200
# queries drawn from those names give what `find -iname '*Q*'` gives, plus only what accent
# folding explains; a deep page in headless Chromium then lists what the command line prints
# for every one of them.
#   search-vs-find.sh TABULO_CLI
set -euo pipefail
cli=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -d "$here/browser/node_modules/puppeteer-core" ] ||
  { echo "search-vs-find: no puppeteer-core; run scripts/install-deps.sh browser" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-search-vs-find.XXXXXX")
# KEEP=1 leaves the folder behind to look into a failure.
trap '[ -n "${KEEP:-}" ] || rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/site" "$tmp/out"
export TABULO_HOME="$tmp/home"
site=$tmp/site

# Some 30 folders up to five levels deep and some 320 files, the same on every run.
perl -e '
  use strict; use warnings; use utf8;
  my $site = shift;
  srand(20240607);
  my @words = ("report", "Notes", "IMG", "data", "Budget", "alpha", "Beta", "README", "photo", "draft",
    "Café", "naïve", "ÉCOLE", "Résumé", "Ångström", "Über", "Ñandú", "crème brûlée", "Straße",
    "Œuvre", "Søren", "Łódź", "Český", "Ελλάδα", "ΑΘΗΝΑ", "Σοφία", "ψυχή", "Ωμέγα", "ΟΔΟΣ",
    "東京", "日本語", "漢字", "写真", "e\x{301}tude", "a#b", "what?", "100%", "x&y", "<b>",
    "\"quoted\"", "it\x27s", "a b", "Q&A");
  my @exts = ("", ".txt", ".TXT", ".jpg", ".Pdf", ".md", ".tar.gz");
  # Not UTF-8: ASCII around lone windows-1252 bytes. A name that mixes such bytes with UTF-8
  # is read whole as windows-1252 (its "é" shows as "Ã©") while find compares the UTF-8
  # bytes, so the two cannot agree on it by design; none is made.
  my @raw = ("caf\xe9 menu", "\xffile", "na\xefve raw", "r\xe9sum\xe9", "\x80 euro", "\x8aibenik",
             "Donn\xe9es", "\xc9t\xe9");
  sub pick { $_[int rand @_] }
  sub name {
    my $s = join(pick(" ", "_", "-", "", " "), map { pick(@words) } 1 .. 1 + int rand 3);
    $s = uc $s if rand() < 0.08;
    $s = lc $s if rand() < 0.08;
    utf8::encode($s);
    return $s;
  }
  my @folders = ("");
  my %seen;
  while (@folders < 31) {
    my $parent = pick(@folders);
    next if ($parent =~ tr{/}{}) >= 4;
    my $path = ($parent eq "" ? "" : "$parent/") . (rand() < 0.1 ? pick(@raw) : name());
    next if $seen{$path}++;
    mkdir "$site/$path" or die "$path: $!";
    push @folders, $path;
  }
  for (my $files = 0; $files < 320;) {
    my $f = pick(@folders);
    my $path = ($f eq "" ? "" : "$f/") . (rand() < 0.06 ? pick(@raw) : name()) . pick(@exts);
    next if $seen{$path}++;
    open my $fh, ">", "$site/$path" or die "$path: $!";
    print $fh "x" x int rand 200;
    close $fh;
    $files++;
  }
  # Hidden names, and names inside hidden folders: no page lists them.
  for my $f (@folders[0 .. 5]) {
    open my $fh, ">", ($f eq "" ? $site : "$site/$f") . "/." . name() or die; close $fh;
  }
  for my $h (".cache", ".git/objects") {
    system("mkdir", "-p", "$site/$h") == 0 or die;
    for (1 .. 5) { open my $fh, ">", "$site/$h/" . name() . ".txt" or die; close $fh; }
  }
' "$site"
LC_ALL=C find "$site" -mindepth 1 -printf '%P\0' | LC_ALL=C sort -z > "$tmp/before"

"$cli" --save-theme search -sheme modern >/dev/null 2>&1
sed -i -e 's/^chkSearchIndex.Value=.*/chkSearchIndex.Value=1/' "$TABULO_HOME/search.color"
"$cli" --answer=yes -q "$site" -sheme search >/dev/null 2>&1

# Python helpers: drawing queries, folding, judging, writing what the page must show.
cat > "$tmp/helper.py" <<'PY'
import os, random, re, sys, unicodedata

def shown(name):
    """A name as the program shows it: UTF-8 when valid, else every byte as windows-1252 (the
    five bytes that code page lacks as the C1 controls of the same value)."""
    try:
        return name.decode("utf-8")
    except UnicodeDecodeError:
        out = ""
        for b in name:
            try:
                out += bytes([b]).decode("cp1252")
            except UnicodeDecodeError:
                out += chr(b)
        return out

# Letters with a stroke have no decomposition, yet the program reads them as their base letter.
STROKES = {"ø": "o", "đ": "d", "ð": "d", "ł": "l", "ħ": "h"}

def fold(text):
    """Lower case without accents: canonical decomposition, combining marks dropped, each
    letter lowered alone (so a final sigma and a sigma are the same letter)."""
    out = []
    for c in unicodedata.normalize("NFD", text):
        if unicodedata.combining(c):
            continue
        c = c.lower()
        out.append("σ" if c == "ς" else STROKES.get(c, c))
    return "".join(out)

def valid(name):
    try:
        name.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False

def readable(path):
    """A path for a message: as shown, with its bytes when they are not UTF-8."""
    text = "/".join(shown(part) for part in path.split(b"/"))
    return text if text.encode("utf-8") == path else f"{text} (bytes {path!r})"

def read0(path):
    with open(path, "rb") as f:
        return [p for p in f.read().split(b"\0") if p]

def visible(paths, site):
    """Paths as listed: no part hidden; folders end in "/"."""
    out = []
    for p in paths:
        if any(part.startswith(b".") for part in p.split(b"/")):
            continue
        out.append(p + b"/" if os.path.isdir(os.path.join(os.fsencode(site), p)) else p)
    return out

def draw(after, outdir):
    """Queries are parts of every name on disk, hidden ones and the run's own files included:
    those must never be found."""
    rnd = random.Random(20240607)
    names = sorted({p.rsplit(b"/", 1)[-1] for p in read0(after)})
    def piece(chars, lo=1):
        n = rnd.choices([1, 2, 3, 4, 5, 6], weights=[1, 3, 3, 3, 1, 1])[0]
        n = max(lo, min(n, len(chars)))
        s = rnd.randrange(len(chars) - n + 1)
        return chars[s:s + n], s + n
    # Names that are not UTF-8 are few; a tenth of the queries come from them.
    odd = [n for n in names if not valid(n)]
    out = []
    while len(out) < 200:
        name = rnd.choice(odd if rnd.random() < 0.1 else names)
        raw = False
        try:
            chars = name.decode("utf-8")
        except UnicodeDecodeError:
            # Half the time the bytes themselves, else the letters one would type for them.
            raw = rnd.random() < 0.5
            chars = name.decode("latin-1") if raw else shown(name)
        if len(out) % 20 == 19 and len(chars) >= 3:
            a, end = piece(chars[:len(chars) - 1])
            b, _ = piece(chars[end:]) if end < len(chars) else ("", 0)
            if not b:
                continue
            q = a + "*" + b
        else:
            q, _ = piece(chars)
        # A query of nothing but combining marks folds to nothing: not a name's part.
        if all(unicodedata.combining(c) for c in q.replace("*", "")):
            continue
        qb = q.encode("latin-1") if raw else q.encode("utf-8")
        if qb in out:
            continue
        out.append(qb)
    # One file each: bash's read can lose a NUL that follows a byte not UTF-8.
    for i, q in enumerate(out):
        with open(os.path.join(outdir, f"{i}.q"), "wb") as f:
            f.write(q)
        # find's pattern: the query's own "?", "[", "]" and "\" are letters, "*" is "*".
        with open(os.path.join(outdir, f"{i}.pattern"), "wb") as f:
            f.write(b"*" + re.sub(rb"([?\[\]\\])", rb"\\\1", q) + b"*")

def matches(name, query):
    parts = [re.escape(fold(p)) for p in shown(query).split("*")]
    return re.search(".*".join(parts), fold(shown(name))) is not None

def judge(site, before, outdir, tsv):
    universe = set(visible(read0(before), site))
    qs = []
    while os.path.exists(os.path.join(outdir, f"{len(qs)}.q")):
        with open(os.path.join(outdir, f"{len(qs)}.q"), "rb") as f:
            qs.append(f.read())
    bad = 0
    rows = []
    for i, q in enumerate(qs):
        def lines(kind):
            with open(os.path.join(outdir, f"{i}.{kind}"), "rb") as f:
                return [l for l in f.read().split(b"\n") if l]
        got, found = lines("cli"), lines("find")
        rc = int(open(os.path.join(outdir, f"{i}.rc")).read())
        faults = []
        if rc != (0 if got else 1):
            with open(os.path.join(outdir, f"{i}.err"), "rb") as f:
                said = shown(f.read().split(b"\n")[0])
            faults.append(f"exit status {rc} with {len(got)} lines ({said})")
        if len(set(got)) != len(got):
            faults.append("a path printed twice")
        for p in sorted(set(found) - set(got)):
            faults.append(f"find lists {readable(p)}, the search does not")
        for p in sorted(set(got) - set(found)):
            if p not in universe:
                faults.append(f"the search lists {readable(p)}, which is not a listed name of the tree")
            elif not matches(p.rstrip(b"/").rsplit(b"/", 1)[-1], q):
                faults.append(f"the search lists {readable(p)}, which neither find nor folding explains")
        if faults:
            bad += 1
            if bad <= 5:
                print(f"search-vs-find: query \"{readable(q)}\": " + "; ".join(faults[:4]), file=sys.stderr)
        # What the page shows: each part of a path as a name is shown.
        rows.append(shown(q) + "\t" + "\v".join(
            "/".join(shown(part) for part in p.split(b"/")) for p in sorted(got)))
    with open(tsv, "w", encoding="utf-8") as f:
        f.write("\n".join(rows) + "\n")
    if bad:
        print(f"search-vs-find: {bad} of {len(qs)} queries differ from find beyond folding", file=sys.stderr)
        sys.exit(1)
    print(f"search-vs-find: {len(qs)} queries agree with find")

def deepest(site, before):
    """The deepest listed folder whose path is UTF-8 (a page the browser is sent to)."""
    best = b""
    for p in visible(read0(before), site):
        if p.endswith(b"/") and p.count(b"/") > best.count(b"/") and valid(p):
            best = p
    print(best.decode("utf-8") + "index.html")

if __name__ == "__main__":
    {"draw": draw, "judge": judge, "deepest": deepest}[sys.argv[1]](*sys.argv[2:])
PY

# A run writes its index folder (hidden), an index.html per folder, the pages' script at the top
# and, where the program has its icons at hand, the icon folder, nothing else: find leaves out
# exactly those, as the pages do not list them.
LC_ALL=C find "$site" -mindepth 1 -printf '%P\0' | LC_ALL=C sort -z > "$tmp/after"
written=$(LC_ALL=C comm -z -13 "$tmp/before" "$tmp/after" | tr '\0' '\n' |
          grep -av -e '^\.tabulo-search\(/\|$\)' -e '\(^\|/\)index\.html$' -e '^index\.page\.js$' -e '^pics\(/icons\(/.*\)\?\)\?$' || true)
if [ -n "$written" ]; then
  echo "search-vs-find: the run wrote files that find does not leave out:" >&2
  printf '%s\n' "$written" | head -5 >&2
  exit 1
fi

python3 "$tmp/helper.py" draw "$tmp/after" "$tmp/out"
for ((i = 0; i < 200; i++)); do
  q=$(cat "$tmp/out/$i.q") pattern=$(cat "$tmp/out/$i.pattern") rc=0
  "$cli" --search "$q" "$site" </dev/null >"$tmp/out/$i.cli" 2>"$tmp/out/$i.err" || rc=$?
  echo "$rc" > "$tmp/out/$i.rc"
  # find in the C locale compares bytes and -iname folds the case of ASCII letters only; the
  # search also folds other letters' case and drops accents ("e" finds "é", "σ" finds "Σ"),
  # and reads a name that is not UTF-8 as windows-1252 ("\xe9" is "é", so "e" finds it). So
  # every name find lists must be found, and any further one must hold the query once both are
  # folded that way (the helper's fold: decomposed, marks dropped, lower case).
  LC_ALL=C find "$site" -mindepth 1 \( -name '.*' -o -path "$site/pics" -o -path "$site/index.page.js" \) -prune \
    -o ! -name index.html -iname "$pattern" \
    \( -type d -printf '%P/\n' -o -printf '%P\n' \) </dev/null >"$tmp/out/$i.find"
done
status=0
python3 "$tmp/helper.py" judge "$site" "$tmp/before" "$tmp/out" "$tmp/expected.tsv" || status=1

# The page shows names, not bytes: a name that is not UTF-8 appears as its windows-1252
# reading, so the expected lines carry each path part in that form (and a query of such bytes
# as the letters one would type for it). Its links must still lead to the bytes on disk.
deep=$(python3 "$tmp/helper.py" deepest "$site" "$tmp/before")
node "$here/browser/site-search.mjs" "$site" "$tmp/expected.tsv" "$deep" || status=1
exit "$status"
