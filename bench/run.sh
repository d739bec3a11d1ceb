#!/usr/bin/env bash
# Times tabulo-cli against find and against the floor (bench/floor.cpp: the least work that
# writes the same pages) on synthetic trees and on one shaped like a real tree, interleaved, and
# prints the medians, the ratios and the peak memory. Prints figures only; nothing here passes
# or fails.
set -euo pipefail
shopt -s inherit_errexit

RUNS=${RUNS:-5}              # timed runs per command, interleaved; the median is shown
FILES=${FILES:-50}           # files per folder in the trees
SMALL=${SMALL:-2000}         # folders of the small tree
LARGE=${LARGE:-20000}        # folders of the large tree; 0 skips it
WIDE=${WIDE:-200000}         # files of the one wide folder; 0 skips it
MEMORY=${MEMORY:-"51000 500000"}  # files of the folders whose peak memory is shown
FANOUT=${FANOUT:-12}         # subfolders per folder, so the trees are a few levels deep
INDEX=${INDEX:-1}            # 1: the small tree also with -sheme modern, search index on and off
FLOOR=${FLOOR:-1}            # 1: the trees' rows also time the floor
REAL=${REAL:-1}              # 1: the rows of the realistic tree (bench/realistic-tree.py)
BENCH_SCALE=${BENCH_SCALE:-1}  # the realistic tree's size: 1 is 56,250 folders, 300,000 files
TIME_BIN=${TIME_BIN:-/usr/bin/time}

usage() {
    cat <<USAGE
usage: [RUNS=5] [FILES=50] [SMALL=2000] [LARGE=20000] [WIDE=200000] [MEMORY="51000 500000"]
       [FANOUT=12] [INDEX=1] [FLOOR=1] [REAL=1] [BENCH_SCALE=1] [TABULO_CLI=path]
       [FLOOR_BIN=path] [TABULO_ARGS=...] [TMPDIR=dir] bench/run.sh
USAGE
}
case ${1:-} in
    -h|--help) usage; exit 0 ;;
    "") ;;
    *) usage >&2; exit 2 ;;
esac
for v in RUNS FILES SMALL LARGE WIDE FANOUT INDEX FLOOR REAL; do
    if ! [[ ${!v} =~ ^[0-9]+$ ]]; then
        echo "$v must be a whole number, got '${!v}'" >&2
        exit 2
    fi
done

if ! [[ $BENCH_SCALE =~ ^[0-9]*\.?[0-9]+$ ]] || awk -v s="$BENCH_SCALE" 'BEGIN { exit !(s <= 0) }'; then
    echo "BENCH_SCALE must be a number above 0, got '$BENCH_SCALE'" >&2
    exit 2
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TABULO_CLI=${TABULO_CLI:-$root/build/bin/tabulo-cli}
FLOOR_BIN=${FLOOR_BIN:-$(dirname "$TABULO_CLI")/tabulo_bench_floor}
read -r -a tabulo_args <<<"${TABULO_ARGS:-}"
if [[ ! -x $TABULO_CLI ]]; then
    echo "no tabulo-cli at $TABULO_CLI: build first: make" >&2
    exit 1
fi
if (( FLOOR || REAL )) && [[ ! -x $FLOOR_BIN ]]; then
    echo "no tabulo_bench_floor at $FLOOR_BIN: build first: make (or FLOOR=0 REAL=0)" >&2
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
# Whatever any theme writes into the tree: pages, numbered pages, JSON listings, data files and
# the search index; the names bench/floor.cpp takes as pages.
drop_outputs() {
    find "$1" \( -name index.html -o -name 'index-[0-9]*.html' -o -name index.json \
        -o -name 'index.rows-[0-9]*.js' \) -delete
    rm -rf -- "$1/.tabulo-search"
    sync
}
# A modern run's output: pages, their data files and the search index.
drop_modern() {
    find "$1" \( -name index.html -o -name 'index.rows-*.js' \) -delete
    rm -rf -- "$1/.tabulo-search"
    sync
}
run_find() { find "$1" -printf '%s %T@ %p\n' >/dev/null; }
run_tabulo() {
    local rc=0
    "$TABULO_CLI" "${tabulo_args[@]}" --answer=yes "$@" >/dev/null 2>"$work/tabulo.err" || rc=$?
    if (( rc != 0 )); then
        echo "tabulo-cli failed (exit $rc) on $1:" >&2
        tail -n 20 "$work/tabulo.err" >&2
        exit 1
    fi
}
timed() { local t0 t1; t0=$(now); "$@"; t1=$(now); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
# timed_cpu TABULO_ARGS...: one tabulo-cli run; prints "WALL CPU" (user + system, from GNU time).
timed_cpu() {
    local t0 t1 rc=0
    if [[ ! -x $TIME_BIN ]]; then echo "$(timed run_tabulo "$@") n/a"; return; fi
    t0=$(now)
    "$TIME_BIN" -f '%U %S' -o "$work/cpu" "$TABULO_CLI" "${tabulo_args[@]}" --answer=yes "$@" \
        >/dev/null 2>"$work/tabulo.err" || rc=$?
    t1=$(now)
    if (( rc != 0 )); then
        echo "tabulo-cli failed (exit $rc) on $1:" >&2
        tail -n 20 "$work/tabulo.err" >&2
        exit 1
    fi
    awk -v a="$t0" -v b="$t1" '{ c = $1 + $2 } END { print b - a, c }' "$work/cpu"
}
# run_floor DIR FRESH: the floor over the pages tabulo-cli left in DIR; it loads them, and when
# FRESH removes them and syncs, before its clock starts. Prints "WALL CPU".
run_floor() {
    local out
    if (( $2 )); then
        out=$("$FLOOR_BIN" "$1" 2>"$work/floor.err") || { cat "$work/floor.err" >&2; exit 1; }
    else
        out=$("$FLOOR_BIN" --rerun "$1" 2>"$work/floor.err") || { cat "$work/floor.err" >&2; exit 1; }
    fi
    awk '{ print $1, $2 + $3 }' <<<"$out"
}

# compare DIR FRESH: find and tabulo-cli (and with FLOOR=1 the floor) taking turns, RUNS times
# each after a warm-up of both; with FRESH=1 the pages are removed before each tabulo-cli run
# (outside the timing), else they are there from the run before. The floor runs right after
# tabulo-cli, over the pages it wrote. Prints "find tabulo ratio [floor tabulo/floor]".
compare() {
    local dir=$1 fresh=$2 i f=() t=() l=() out
    run_find "$dir"
    run_tabulo "$dir"
    for (( i = 0; i < RUNS; i++ )); do
        sync
        f+=("$(timed run_find "$dir")")
        if (( fresh )); then drop_pages "$dir"; else sync; fi
        t+=("$(timed run_tabulo "$dir")")
        if (( FLOOR )); then
            out=$(run_floor "$dir" "$fresh")
            l+=("${out%% *}")
        fi
    done
    local mf mt ml
    mf=$(printf '%s\n' "${f[@]}" | median)
    mt=$(printf '%s\n' "${t[@]}" | median)
    if (( FLOOR )); then
        ml=$(printf '%s\n' "${l[@]}" | median)
        echo "$mf $mt $(ratio "$mt" "$mf") $ml $(ratio "$mt" "$ml")"
    else
        echo "$mf $mt $(ratio "$mt" "$mf")"
    fi
}

# compare_real DIR FRESH TABULO_ARGS...: as compare, with the floor always, the CPU time of
# tabulo-cli and of the floor, and the tree cleared of every theme's output first, so each
# theme starts from the bare tree. The warm-up also fills the hash cache for the hash column.
# Prints "find tabulo cpu floor cpu tabulo/find tabulo/floor".
compare_real() {
    local dir=$1 fresh=$2 i f=() t=() tc=() l=() lc=() out
    shift 2
    drop_outputs "$dir"
    run_find "$dir"
    run_tabulo "$dir" "$@"
    for (( i = 0; i < RUNS; i++ )); do
        sync
        f+=("$(timed run_find "$dir")")
        if (( fresh )); then drop_outputs "$dir"; else sync; fi
        out=$(timed_cpu "$dir" "$@")
        t+=("${out% *}") tc+=("${out#* }")
        out=$(run_floor "$dir" "$fresh")
        l+=("${out% *}") lc+=("${out#* }")
    done
    local mf mt mtc ml mlc
    mf=$(printf '%s\n' "${f[@]}" | median)
    mt=$(printf '%s\n' "${t[@]}" | median)
    ml=$(printf '%s\n' "${l[@]}" | median)
    mlc=$(printf '%s\n' "${lc[@]}" | median)
    if [[ ${tc[0]} == n/a ]]; then mtc=n/a; else mtc=$(printf '%s\n' "${tc[@]}" | median); fi
    echo "$mf $mt $mtc $ml $mlc $(ratio "$mt" "$mf") $(ratio "$mt" "$ml")"
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

row() { printf '%-36s' "$1"; shift; printf ' %9s' "$@"; echo; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%+.1f%%", (b - a) * 100 / a; else print "n/a" }'; }

# compare_index OFF ON FRESH: two copies of a tree, the first indexed with the modern theme but
# its search index off, the second with it on, taking turns, RUNS times each after a warm-up
# of both; with FRESH=1 every page and the index are removed before each run, else they stay
# from the run before (each copy keeps its own, as pages with and without search differ).
# Prints "off on +percent".
compare_index() {
    local off=$1 on=$2 fresh=$3 i a=() b=()
    run_tabulo "$off" -sheme modern-noindex
    run_tabulo "$on" -sheme modern
    for (( i = 0; i < RUNS; i++ )); do
        if (( fresh )); then drop_modern "$off"; else sync; fi
        a+=("$(timed run_tabulo "$off" -sheme modern-noindex)")
        if (( fresh )); then drop_modern "$on"; else sync; fi
        b+=("$(timed run_tabulo "$on" -sheme modern)")
    done
    local ma mb
    ma=$(printf '%s\n' "${a[@]}" | median)
    mb=$(printf '%s\n' "${b[@]}" | median)
    echo "$ma $mb $(percent "$ma" "$mb")"
}

# make_theme NAME BASE KEY=VALUE...: a theme saved from BASE ("" for the default options) with
# those settings changed in its file, into the temporary TABULO_HOME.
make_theme() {
    local name=$1 base=$2 kv file=$TABULO_HOME/$1.color
    shift 2
    if [[ -n $base ]]; then
        "$TABULO_CLI" --save-theme "$name" -sheme "$base" >/dev/null 2>&1
    else
        "$TABULO_CLI" --save-theme "$name" >/dev/null 2>&1
    fi
    for kv in "$@"; do
        sed -i "s/^${kv%%=*}=.*/$kv/" "$file"
        if ! grep -qx -- "$kv" "$file"; then
            echo "could not set $kv in the theme $name in $TABULO_HOME" >&2
            exit 1
        fi
    done
}

# index_rows DIR: the cost of the search index on the tree in DIR, into index_fresh and
# index_rerun; the shipped modern theme against a copy of it with the index off.
index_rows() {
    local off=$work/index-off on=$work/index-on
    make_theme modern-noindex modern chkSearchIndex.Value=0
    cp -a -- "$1" "$off"
    cp -a -- "$1" "$on"
    drop_modern "$off"
    drop_modern "$on"
    index_fresh=$(compare_index "$off" "$on" 1)
    index_rerun=$(compare_index "$off" "$on" 0)
    index_size=$(du -sk -- "$on/.tabulo-search" 2>/dev/null | cut -f1)
    rm -rf -- "$off" "$on"
}

echo "tabulo-cli: $TABULO_CLI ${tabulo_args[*]:-}"
echo "medians of $RUNS interleaved runs after a warm-up, wall time in seconds, warm cache"
(( FLOOR )) && echo "floor: $FLOOR_BIN (2 threads; its own clock, from its walk to its syncfs)"
echo
if (( FLOOR )); then
    row "work" "find" "tabulo" "/find" "floor" "/floor"
else
    row "work" "find" "tabulo" "ratio"
fi

# tree_rows NAME FOLDERS: fresh and re-run rows for a tree, and its peak memory in rss_NAME.
tree_rows() {
    local dir=$work/$1
    make_tree "$dir" "$2"
    row "$2 x $FILES, fresh" $(compare "$dir" 1)
    row "$2 x $FILES, re-run over its pages" $(compare "$dir" 0)
    printf -v "rss_$1" '%s' "$(peak_kb "$dir")"
    if [[ $1 == small ]] && (( INDEX )); then index_rows "$dir"; fi
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

# real_rows: the realistic tree, fresh and re-run for the classic default theme and the other
# kinds of page, each against find and against the floor writing the same pages.
real_rows() {
    local dir=$work/real made
    made=$(BENCH_SCALE=$BENCH_SCALE python3 "$root/bench/realistic-tree.py" "$dir")
    make_theme allinone "" optAllInOneFile.Value=True optCurrentDir.Value=False
    make_theme json "" chkJsonListing.Value=1
    make_theme hash "" chkColuHash.Value=1
    [[ -f $TABULO_HOME/modern-noindex.color ]] || make_theme modern-noindex modern chkSearchIndex.Value=0
    echo
    echo "$made (BENCH_SCALE=$BENCH_SCALE)"
    echo "each theme from the bare tree; cpu: user + system seconds; /floor: tabulo over the floor"
    echo "writing the same pages (goals: fresh within 1.15x of the floor, re-run 1.1x find at most)"
    row "work" "find" "tabulo" "cpu" "floor" "cpu" "/find" "/floor"
    local name args
    while IFS='|' read -r name args; do
        read -r -a args <<<"$args"
        row "$name, fresh" $(compare_real "$dir" 1 "${args[@]}")
        row "$name, re-run" $(compare_real "$dir" 0 "${args[@]}")
    done <<'ROWS'
classic (default)|
all-in-one page|-sheme allinone
JSON listing on|-sheme json
modern, search index off|-sheme modern-noindex
modern, search index on|-sheme modern
hash column, warm cache|-sheme hash
ROWS
    rm -rf -- "$dir"
}
(( REAL )) && real_rows

if (( INDEX )); then
    echo
    echo "the search index's cost: -sheme modern (index on) against a copy of it with chkSearchIndex"
    echo "off, on the tree of $SMALL folders (goals: fresh +15% at most, re-run +5% at most)"
    row "work" "off" "on" "adds"
    row "$SMALL x $FILES modern, fresh" $index_fresh
    row "$SMALL x $FILES modern, re-run" $index_rerun
    echo "  the index takes ${index_size:-?} KB on disk"
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
