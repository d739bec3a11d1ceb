#!/usr/bin/env bash
# Times tabulo-cli against find on synthetic trees, interleaved, and prints the medians, the
# ratios and the peak memory. Prints figures only; nothing here passes or fails.
set -euo pipefail
shopt -s inherit_errexit

RUNS=${RUNS:-5}              # timed runs per command, interleaved; the median is shown
FILES=${FILES:-50}           # files per folder in the trees
SMALL=${SMALL:-2000}         # folders of the small tree
LARGE=${LARGE:-20000}        # folders of the large tree; 0 skips it
WIDE=${WIDE:-200000}         # files of the one wide folder; 0 skips it
MEMORY=${MEMORY:-"51000 500000"}  # files of the folders whose peak memory is shown
FANOUT=${FANOUT:-12}         # subfolders per folder, so the trees are a few levels deep
TIME_BIN=${TIME_BIN:-/usr/bin/time}

usage() {
    cat <<USAGE
usage: [RUNS=5] [FILES=50] [SMALL=2000] [LARGE=20000] [WIDE=200000] [MEMORY="51000 500000"]
       [FANOUT=12] [TABULO_CLI=path] [TABULO_ARGS=...] [TMPDIR=dir] bench/run.sh
USAGE
}
case ${1:-} in
    -h|--help) usage; exit 0 ;;
    "") ;;
    *) usage >&2; exit 2 ;;
esac
for v in RUNS FILES SMALL LARGE WIDE FANOUT; do
    if ! [[ ${!v} =~ ^[0-9]+$ ]]; then
        echo "$v must be a whole number, got '${!v}'" >&2
        exit 2
    fi
done

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TABULO_CLI=${TABULO_CLI:-$root/build/bin/tabulo-cli}
read -r -a tabulo_args <<<"${TABULO_ARGS:-}"
if [[ ! -x $TABULO_CLI ]]; then
    echo "no tabulo-cli at $TABULO_CLI: build first: make" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-bench.XXXXXX")
cleanup() { rm -rf -- "$work"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
export TABULO_HOME=$work/home  # no theme of the user's: default options
mkdir -p "$TABULO_HOME"

# Peak RSS needs GNU time; the shell keyword cannot report it.
if [[ ! -x $TIME_BIN && $TIME_BIN == /usr/bin/time && $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "installing Debian package 'time' for the peak memory figures..." >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y time >/dev/null 2>&1 ||
        { apt-get update >/dev/null 2>&1 && apt-get install -y time >/dev/null 2>&1; } || true
fi

# make_tree DIR NFOLDERS: folders numbered breadth first, folder i under folder (i-1)/FANOUT,
# FILES files each of 0 to 8 KB, mostly small. Fixed seed: every run measures the same tree.
make_tree() {
    mkdir -p -- "$1"
    perl -e '
        use strict; use warnings;
        my ($top, $n, $files, $fan) = @ARGV;
        srand(20240);
        my @ext = qw(txt jpg pdf gz html png zip md tar.gz mp3 css JPG);
        my $buf = join "", map { chr(32 + $_ % 95) } 0 .. 16383;
        my @path = ($top);
        for my $i (0 .. $n - 1) {
            if ($i) {
                $path[$i] = $path[int(($i - 1) / $fan)] . "/folder-$i";
                mkdir $path[$i] or die "mkdir $path[$i]: $!\n";
            }
            for my $j (1 .. $files) {
                my $f = sprintf "%s/file-%d.%s", $path[$i], $j, $ext[($i + $j) % @ext];
                open my $fh, ">", $f or die "$f: $!\n";
                print $fh substr($buf, 0, int(rand() ** 4 * 8192));
                close $fh or die "$f: $!\n";
            }
        }
    ' "$1" "$2" "$FILES" "$FANOUT"
}

# make_wide DIR NFILES: one folder of empty files.
make_wide() {
    mkdir -p -- "$1"
    perl -e '
        my ($dir, $n) = @ARGV;
        for my $i (1 .. $n) {
            open my $fh, ">", sprintf("%s/entry-%07d.dat", $dir, $i) or die "$!\n";
            close $fh;
        }
    ' "$1" "$2"
}

now() { date +%s.%N; }
median() { sort -g | awk '{ a[NR] = $1 } END { printf "%.3f\n", NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

drop_pages() { find "$1" -name index.html -delete; sync; }
run_find() { find "$1" -printf '%s %T@ %p\n' >/dev/null; }
run_tabulo() {
    local rc=0
    "$TABULO_CLI" "${tabulo_args[@]}" --answer=yes "$1" >/dev/null 2>"$work/tabulo.err" || rc=$?
    if (( rc != 0 )); then
        echo "tabulo-cli failed (exit $rc) on $1:" >&2
        tail -n 20 "$work/tabulo.err" >&2
        exit 1
    fi
}
timed() { local t0 t1; t0=$(now); "$@"; t1=$(now); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }

# compare DIR FRESH: find and tabulo-cli taking turns, RUNS times each after a warm-up of both;
# with FRESH=1 the pages are removed before each tabulo-cli run (outside the timing), else
# they are there from the run before. Prints "find tabulo ratio".
compare() {
    local dir=$1 fresh=$2 i f=() t=()
    run_find "$dir"
    run_tabulo "$dir"
    for (( i = 0; i < RUNS; i++ )); do
        sync
        f+=("$(timed run_find "$dir")")
        if (( fresh )); then drop_pages "$dir"; else sync; fi
        t+=("$(timed run_tabulo "$dir")")
    done
    local mf mt
    mf=$(printf '%s\n' "${f[@]}" | median)
    mt=$(printf '%s\n' "${t[@]}" | median)
    echo "$mf $mt $(ratio "$mt" "$mf")"
}

peak_kb() {
    drop_pages "$1"
    if [[ -x $TIME_BIN ]]; then
        "$TIME_BIN" -f '%M' -o "$work/rss" "$TABULO_CLI" "${tabulo_args[@]}" --answer=yes "$1" \
            >/dev/null 2>&1 || true
        tail -n 1 "$work/rss"
    else
        echo "n/a"
    fi
}

row() { printf '%-36s %9s %9s %7s\n' "$@"; }

echo "tabulo-cli: $TABULO_CLI ${tabulo_args[*]:-}"
echo "medians of $RUNS interleaved runs after a warm-up, wall time in seconds, warm cache"
echo
row "work" "find" "tabulo" "ratio"

# tree_rows NAME FOLDERS: fresh and re-run rows for a tree, and its peak memory in rss_NAME.
tree_rows() {
    local dir=$work/$1
    make_tree "$dir" "$2"
    row "$2 x $FILES, fresh" $(compare "$dir" 1)
    row "$2 x $FILES, re-run over its pages" $(compare "$dir" 0)
    printf -v "rss_$1" '%s' "$(peak_kb "$dir")"
    rm -rf -- "$dir"
}

tree_rows small "$SMALL"
(( LARGE > 0 )) && tree_rows large "$LARGE"

if (( WIDE > 0 )); then
    wide=$work/wide
    make_wide "$wide" "$WIDE"
    row "one folder of $WIDE files, fresh" $(compare "$wide" 1)
    rm -rf -- "$wide"
fi

echo
echo "peak memory (KB)"
printf '  %-34s %s\n' "tree of $SMALL folders" "$rss_small"
(( LARGE > 0 )) && printf '  %-34s %s\n' "tree of $LARGE folders" "$rss_large"
prev_n=0 prev_kb=0
for n in $MEMORY; do
    folder=$work/mem-$n
    make_wide "$folder" "$n"
    kb=$(peak_kb "$folder")
    rm -rf -- "$folder"
    extra=""
    if (( prev_n > 0 )) && [[ $kb =~ ^[0-9]+$ ]]; then
        extra=$(awk -v a="$prev_kb" -v b="$kb" -v m="$prev_n" -v n="$n" \
            'BEGIN { printf "  (%.0f bytes per entry more)", (b - a) * 1024 / (n - m) }')
    fi
    printf '  %-34s %s%s\n' "one folder of $n files" "$kb" "$extra"
    prev_n=$n prev_kb=$kb
done
