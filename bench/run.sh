#!/usr/bin/env bash
# Times tabulo-cli on a synthetic tree against find (same metadata) and,
# when present, tree -H. Prints figures only; nothing here passes or fails.
set -euo pipefail
shopt -s inherit_errexit

FOLDERS=${FOLDERS:-2000}     # folders in the tree, top folder included
FILES=${FILES:-50}           # files per folder
FANOUT=${FANOUT:-12}         # subfolders per folder, so the tree is a few levels deep
SCALE=${SCALE:-10}           # the large run has FOLDERS*SCALE folders
SKIP_LARGE=${SKIP_LARGE:-0}  # 1: skip the large run
RUNS=${RUNS:-3}              # timed runs per command; the best one is shown
TIME_BIN=${TIME_BIN:-/usr/bin/time}

usage() {
    cat <<USAGE
usage: [FOLDERS=2000] [FILES=50] [FANOUT=12] [SCALE=10] [SKIP_LARGE=0] [RUNS=3]
       [TABULO_CLI=path] [TMPDIR=dir] bench/run.sh
USAGE
}
case ${1:-} in
    -h|--help) usage; exit 0 ;;
    "") ;;
    *) usage >&2; exit 2 ;;
esac

for v in FOLDERS FILES FANOUT SCALE RUNS; do
    if ! [[ ${!v} =~ ^[0-9]+$ ]] || (( ${!v} < 1 )); then
        echo "$v must be a positive whole number, got '${!v}'" >&2
        exit 2
    fi
done

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TABULO_CLI=${TABULO_CLI:-$root/build/bin/tabulo-cli}
if [[ ! -x $TABULO_CLI ]]; then
    echo "no tabulo-cli at $TABULO_CLI: build first: make" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-bench.XXXXXX")
cleanup() { rm -rf -- "$work"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Peak RSS needs GNU time; the shell keyword cannot report it.
if [[ ! -x $TIME_BIN && $TIME_BIN == /usr/bin/time && $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "installing Debian package 'time' for the peak RSS figure..." >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y time >/dev/null 2>&1 ||
        { apt-get update >/dev/null 2>&1 && apt-get install -y time >/dev/null 2>&1; } || true
fi

# make_tree DIR NFOLDERS: folders numbered breadth first, folder i under
# folder (i-1)/FANOUT, so depth grows with the log of the count.
# Fixed seed, so every run measures the same tree.
make_tree() {
    mkdir -p -- "$1"
    perl -e '
        use strict; use warnings;
        my ($top, $n, $files, $fan) = @ARGV;
        srand(20240);
        my @ext = qw(txt jpg pdf gz html png zip md tar.gz mp3 css JPG);
        my $buf = join "", map { chr(32 + $_ % 95) } 0 .. 16383;
        my @path = ($top);
        my @depth = (0);
        my ($bytes, $maxdepth) = (0, 0);
        for my $i (0 .. $n - 1) {
            if ($i) {
                my $p = int(($i - 1) / $fan);
                $path[$i] = "$path[$p]/folder-$i";
                $depth[$i] = $depth[$p] + 1;
                $maxdepth = $depth[$i] if $depth[$i] > $maxdepth;
                mkdir $path[$i] or die "mkdir $path[$i]: $!\n";
            }
            for my $j (1 .. $files) {
                # mostly small files, a few up to 8 KB
                my $size = int(rand() ** 4 * 8192);
                my $f = sprintf "%s/file-%d.%s", $path[$i], $j, $ext[($i + $j) % @ext];
                open my $fh, ">", $f or die "$f: $!\n";
                print $fh substr($buf, 0, $size);
                close $fh or die "$f: $!\n";
                $bytes += $size;
            }
        }
        printf "%d folders, %d files, %.1f MB, %d levels below the top\n",
            $n, $n * $files, $bytes / 1e6, $maxdepth;
    ' "$1" "$2" "$FILES" "$FANOUT"
    sync
}

now() { date +%s.%N; }

# best_of PREP CMD...: one untimed warm-up run, then RUNS timed runs; PREP runs
# untimed before each. Prints the best wall time in seconds.
best_of() {
    local prep=$1; shift
    local i t0 t1 times=""
    for (( i = 0; i <= RUNS; i++ )); do
        $prep
        t0=$(now)
        "$@"
        t1=$(now)
        (( i > 0 )) && times+="$t0 $t1"$'\n'
    done
    printf '%s' "$times" | awk '{ d = $2 - $1; if (NR == 1 || d < best) best = d } END { printf "%.3f\n", best }'
}

no_prep() { :; }
drop_pages() { find "$dir" -name index.html -delete; }

run_find() { find "$dir" -printf '%s %T@ %p\n' >/dev/null; }

run_tabulo() {
    local rc=0
    "$TABULO_CLI" --answer=yes "$dir" >/dev/null 2>"$work/tabulo.err" || rc=$?
    if (( rc != 0 )); then
        echo "tabulo-cli failed (exit $rc) on $dir:" >&2
        tail -n 20 "$work/tabulo.err" >&2
        exit 1
    fi
}

run_tree() { tree -H . -s -D -o "$work/tree.html" "$dir" >/dev/null 2>&1; }

peak_rss() {
    drop_pages
    if [[ -x $TIME_BIN ]]; then
        "$TIME_BIN" -f '%M' -o "$work/rss" "$TABULO_CLI" --answer=yes "$dir" >/dev/null 2>&1 || true
        echo "$(tail -n 1 "$work/rss") KB"
    else
        echo "n/a"
    fi
}

pages() { find "$dir" -name index.html | wc -l; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f\n", a / b; else print "n/a" }'; }

echo "tabulo-cli: $TABULO_CLI"
echo "best of $RUNS runs after one warm-up run, wall time in seconds"
echo

dir=$work/tree
echo "== tree of $FOLDERS folders x $FILES files"
make_tree "$dir" "$FOLDERS"
t_find=$(best_of no_prep run_find)
t_tabulo=$(best_of drop_pages run_tabulo)
t_again=$(best_of no_prep run_tabulo)
n_pages=$(pages)
if command -v tree >/dev/null; then
    t_tree=$(best_of drop_pages run_tree)
else
    t_tree="n/a (tree not installed)"
fi
rss=$(peak_rss)
printf '%-22s %s\n' "find -printf:" "$t_find" \
    "tabulo-cli:" "$t_tabulo" \
    "tabulo-cli, re-run:" "$t_again" \
    "tree -H:" "$t_tree" \
    "ratio tabulo/find:" "$(ratio "$t_tabulo" "$t_find")" \
    "ratio re-run/find:" "$(ratio "$t_again" "$t_find")" \
    "peak RSS tabulo-cli:" "$rss" \
    "index.html written:" "$n_pages of $FOLDERS folders"

if [[ $SKIP_LARGE != 1 ]]; then
    rm -rf -- "$dir"
    large=$(( FOLDERS * SCALE ))
    dir=$work/large
    echo
    echo "== tree of $large folders x $FILES files"
    make_tree "$dir" "$large"
    t_find=$(best_of no_prep run_find)
    t_tabulo=$(best_of drop_pages run_tabulo)
    t_again=$(best_of no_prep run_tabulo)
    n_pages=$(pages)
    rss=$(peak_rss)
    printf '%-22s %s\n' "find -printf:" "$t_find" \
        "tabulo-cli:" "$t_tabulo" \
        "tabulo-cli, re-run:" "$t_again" \
        "ratio tabulo/find:" "$(ratio "$t_tabulo" "$t_find")" \
        "ratio re-run/find:" "$(ratio "$t_again" "$t_find")" \
        "peak RSS tabulo-cli:" "$rss" \
        "index.html written:" "$n_pages of $large folders"
fi
