#!/usr/bin/env bash
# Runs tabulo-cli while folders of the indexed tree are swapped, again and again, for links
# that lead into a decoy beside the tree, and checks that not one entry of the decoy was
# written, replaced, created or deleted.
#   link-races.sh TABULO_CLI SWAPPER SHARE_TABULO SANITIZED(1|0)
# LINK_RACES_CASES="runs watch icons sweep" picks cases.
# The tests run as root: every run and every swap happens in a chroot on a fresh tmpfs, in
# private mount, pid and network namespaces, so a run that escapes reaches only the decoy.
# Exits 77 (skipped) where that cannot be set up.
set -u
PATH=$PATH:/usr/sbin:/sbin

if [ "${1:-}" != --inside ]; then
  [ $# -eq 4 ] || { echo "usage: $0 TABULO_CLI SWAPPER SHARE_TABULO SANITIZED" >&2; exit 2; }
  if [ "$(id -u)" != 0 ]; then
    echo "SKIP: needs root to make namespaces, mount a tmpfs and chroot"
    exit 77
  fi
  for tool in unshare chroot mount umount ldd timeout find sha256sum; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
  done
  base=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-races.XXXXXX") || exit 1
  if ! why=$(unshare --mount --propagation private --pid --fork --net \
               mount -t tmpfs tabulo-races "$base" 2>&1); then
    rmdir "$base"
    echo "SKIP: no private namespaces or tmpfs here: $why"
    exit 77
  fi
  # --kill-child: when this script is stopped, everything in the namespaces goes with it.
  unshare --mount --propagation private --pid --fork --kill-child --net \
    bash "$0" --inside "$base" "$@"
  status=$?
  rmdir "$base"  # the tmpfs went with its namespace; the empty folder below it stays
  exit $status
fi

root=$2 cli=$3 swapper=$4 share=$5 sanitized=$6

mount -t tmpfs -o mode=0755,size=256m tabulo-races "$root" || exit 1
[ "$(stat -f -c %T "$root")" = tmpfs ] || { echo "the chroot is no tmpfs" >&2; exit 1; }
mkdir -p "$root"/{bin,dev,proc,home,logs,share/tabulo} || exit 1
cp "$cli" "$root/bin/tabulo-cli" && cp "$swapper" "$root/bin/swapper" || exit 1
for program in "$cli" "$swapper"; do
  for lib in $(ldd "$program" | grep -o '^[[:space:]]*/[^ ]*\|=> /[^ ]*' | grep -o '/[^ ]*'); do
    cp -L --parents "$lib" "$root/" || exit 1
  done
done
[ -d "$share/icons" ] && cp -r "$share/icons" "$root/share/tabulo/"
# The only devices a run opens; made anew where the kernel lets us, else the host's lent.
device() {
  mknod -m 666 "$root/dev/$1" c 1 "$2" 2>/dev/null ||
    { touch "$root/dev/$1" && mount --bind "/dev/$1" "$root/dev/$1"; }
}
device null 3 && device urandom 9 || exit 1
logs=$root/logs
# A command inside the chroot, with nothing of this machine's environment. Without /proc the
# program also goes without the kernel's resolver (openat2), as on an old kernel in a bare
# chroot, so both ways of confining a path are raced.
enter() {
  inside=(env -i PATH=/bin HOME=/home TABULO_HOME=/home/tabulo TABULO_DATA=/share/tabulo
          LC_ALL=C TZ=UTC "$@" "$(command -v chroot)" "$root")
}
enter
passed=0 failed=0

note() { printf '%s\n' "$*"; }
broken() { problems+=("$*"); }

# Four top folders of four folders of twenty, two files in each, and `pics`.
make_site() {
  mkdir -p "$root/site/pics" "$root"/site/t{1..4}/i{1..4}/s{00..19} || exit 1
  local d
  for d in "$root"/site/t{1..4}/i{1..4}/s{00..19}; do
    printf 'notes of %s\n' "${d##*/}" >"$d/notes.txt"
    printf 'data' >"$d/data.zzq"
  done
  printf 'banner\n' >"$root/site/pics/banner.txt"
}

# For the watch: 200 folders in one.
make_watched() {
  mkdir -p "$root"/site/w/s{000..199} || exit 1
  local d
  for d in "$root"/site/w/s{000..199}; do printf 'x\n' >"$d/file.txt"; done
}

# The folders of the site again, each with files of another site that must stay as they are.
make_decoy() {
  local rel d
  (cd "$root/site" && find . -type d) | while read -r rel; do
    d=$root/outside/${rel#./}
    mkdir -p "$d"
    printf '<html><body>another site</body></html>\n' >"$d/index.html"
    printf '[{"name":"other","type":"file"}]\n' >"$d/index.json"
    printf 'd41d8cd98f00b204e9800998ecf8427e  other\n' >"$d/MD5SUMS"
    printf 'notes\n' >"$d/.tabulo-notes.tmp"
    printf 'left by a run over another site\n' >"$d/.tabulo-999999-abcdefghijkl.tmp"
  done
  printf 'GIF89a' >"$root/outside/pics/banner.gif"
}

# Every entry of the decoy: name, type, mode, size, inode, times, link target, checksum. The
# folders' times and sizes also show a file that was made and removed again.
manifest() {
  (
    cd "$root/outside" || exit 1
    find . -type f -exec sha256sum {} + | sort -k2 >"$logs/sums"
    find . -printf '%p\t%y\t%m\t%s\t%i\t%T@\t%C@\t%l\n' | sort |
      awk -F'\t' 'NR == FNR { sum[substr($0, 67)] = substr($0, 1, 64); next }
                  { print $0 "\t" ($1 in sum ? sum[$1] : "-") }' "$logs/sums" -
  )
}

# What changed between two manifests: one line an entry, "path<TAB>what<TAB>type".
differences() {
  awk -F'\t' '
    BEGIN { split("type mode size inode mtime ctime link sha256", field, " ") }
    NR == FNR { before[$1] = $0; type[$1] = $2; next }
    { after[$1] = $0; if (!($1 in type)) type[$1] = $2 }
    END {
      for (p in before) {
        if (!(p in after)) { print p "\tdeleted\t" type[p]; continue }
        if (before[p] == after[p]) continue
        split(before[p], b, "\t"); split(after[p], a, "\t"); what = ""
        for (i = 2; i <= 9; ++i) if (a[i] != b[i]) what = what " " field[i - 1]
        print p "\tchanged (" substr(what, 2) ")\t" type[p]
      }
      for (p in after) if (!(p in before)) print p "\tcreated\t" type[p]
    }' "$1" "$2" | sort
}

# The differences by name and kind, each with how often and where first.
summary() {
  awk -F'\t' '
    { name = $1; sub(/.*\//, "", name)
      key = ($3 == "d" ? "a folder" : name) " " $2
      if (!(key in seen)) { order[++n] = key; first[key] = "outside" substr($1, 2) }
      seen[key]++ }
    END { for (i = 1; i <= n; ++i)
            printf "    %s: %d of them, e.g. %s\n", order[i], seen[order[i]], first[order[i]] }' "$1"
}

# A fresh site (with what the functions named add), decoy and theme folder; each folder in
# `swapped` gets its link `.NAME-link` beside it, to the same place in the decoy.
fresh_case() {
  rm -rf "$root/site" "$root/outside" "$root/home/tabulo"
  mkdir -p "$root/home/tabulo"
  make_site
  local extra rel up part
  for extra in "$@"; do "$extra"; done
  make_decoy
  for rel in "${swapped[@]}"; do
    up=""
    for part in ${rel//\// }; do up="../$up"; done
    ln -s "${up}outside/$rel" "$root/site/$(dirname "$rel")/.$(basename "$rel")-link"
  done
  problems=() runs=0 swaps=0
  : >"$logs/runs"
  manifest >"$logs/before"
}

# Theme NAME: the options of theme BASE (or the defaults) with the KEY=VALUE lines given.
make_theme() {
  local name=$1 base=$2 file=$root/home/tabulo/$1.color setting
  shift 2
  "${inside[@]}" /bin/tabulo-cli --save-theme "$name" ${base:+-sheme "$base"} >/dev/null 2>&1
  [ -f "$file" ] || { broken "no theme $name"; return; }
  for setting in "$@"; do
    sed -i "s|^${setting%%=*}=.*|${setting}\r|" "$file"
    grep -q "^${setting}"$'\r' "$file" || broken "theme $name has no ${setting%%=*}"
  done
}

# Status 1 is a run that reported errors, as refused writes are; anything else is a crash,
# a time-out or a usage error.
tabulo() {
  timeout -k 5 120 "${inside[@]}" /bin/tabulo-cli "$@" </dev/null >>"$logs/runs" 2>&1
  local status=$?
  [ $status -le 1 ] || broken "tabulo-cli $* ended with $status"
  return $status
}

# A run before any swap: unless the runs work, the case proves nothing.
calm_run() {
  tabulo --answer=yes /site "$@" || broken "tabulo-cli --answer=yes /site $* failed before any swap"
}

start_swapper() {  # COUNT MAX_SLEEP_US SEED [--start-on-temp FOLDER] FOLDER...
  "${inside[@]}" /bin/swapper swap "$@" >"$logs/swaps" 2>>"$logs/runs" &
  swapper_pid=$!
}

finish_swapper() {
  local status=0 done
  wait "$swapper_pid" || status=$?
  done=$(cat "$logs/swaps")
  swaps=$((swaps + ${done:-0}))
  [ $status = 0 ] || broken "the swapper ended with $status (see the log)"
}

# Runs over /site, one theme after the other, until the swapper is done.
runs_while_swapping() {
  local themes=("$@") theme
  while :; do
    theme=${themes[runs % ${#themes[@]}]}
    tabulo --answer=yes /site ${theme:+-sheme "$theme"}
    runs=$((runs + 1))
    kill -0 "$swapper_pid" 2>/dev/null || break
  done
}

report() {
  local title="$1: $swaps swaps, $runs ${2:-runs}, $((SECONDS - started)) s"
  grep -q 'ERROR: [A-Za-z]*Sanitizer\|runtime error:' "$logs/runs" &&
    broken "a sanitizer reported an error"
  manifest >"$logs/after"
  differences "$logs/before" "$logs/after" >"$logs/differences"
  if [ ${#problems[@]} = 0 ] && [ ! -s "$logs/differences" ]; then
    note "PASS  $title"
    passed=$((passed + 1))
    return
  fi
  failed=$((failed + 1))
  note "FAIL  $title"
  if [ -s "$logs/differences" ]; then
    note "  outside the tree: $(grep -c $'\tcreated' "$logs/differences") created," \
      "$(grep -c $'\tdeleted' "$logs/differences") deleted," \
      "$(grep -c $'\tchanged' "$logs/differences") changed:"
    summary "$logs/differences"
  fi
  if [ ${#problems[@]} != 0 ]; then
    printf '  harness: %s\n' "${problems[@]}"
    note "  last lines of the runs:"
    tail -n 12 "$logs/runs" | sed 's/^/    /'
  fi
}

# Classic and modern runs, with and without checksums and JSON listings, while folders at
# three depths are swapped.
case_runs() {
  swapped=(t1 t2/i2 t3/i3/s07 t4/i1)
  fresh_case
  make_theme sums "" chkColuHash.Value=1 chkJsonListing.Value=1
  make_theme modern-sums modern chkColuHash.Value=1 chkJsonListing.Value=1
  local theme
  for theme in "" modern sums modern-sums; do calm_run ${theme:+-sheme "$theme"}; done
  [ -f "$root/site/t1/i1/s00/MD5SUMS" ] && [ -f "$root/site/t1/i1/s00/index.json" ] ||
    broken "no MD5SUMS or index.json after the runs with checksums"
  start_swapper 200 12000 "$1" /site/t1 /site/t2/i2 /site/t3/i3/s07 /site/t4/i1
  runs_while_swapping "" modern sums modern-sums
  finish_swapper
  report "runs ($2 /proc)"
}

# A watch while files change in 200 folders whose parent is swapped as their pages are
# written.
case_watch() {
  swapped=(w)
  fresh_case make_watched
  make_theme sums "" chkColuHash.Value=1 chkJsonListing.Value=1
  "${inside[@]}" /bin/tabulo-cli --watch /site -sheme sums </dev/null >"$logs/watch" 2>&1 &
  local watch_pid=$! waited=0 round
  until grep -q '^Watching' "$logs/watch"; do
    sleep 0.1
    waited=$((waited + 1))
    if [ $waited -gt 600 ] || ! kill -0 "$watch_pid" 2>/dev/null; then
      broken "the watch did not index the tree"
      break
    fi
  done
  for round in 1 2 3 4; do
    [ ${#problems[@]} = 0 ] || break
    # The swaps start as the watch writes the first page of the round, after its quiet
    # second: swapping earlier would only put the round off.
    start_swapper 50 1500 "$1$round" --start-on-temp /site/w/s000 /site/w
    "${inside[@]}" /bin/swapper touch "$round" /site/w/s{000..199} >/dev/null
    finish_swapper
  done
  kill -TERM "$watch_pid"
  waited=0
  while kill -0 "$watch_pid" 2>/dev/null && [ $waited -lt 100 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$watch_pid" 2>/dev/null; then
    kill -KILL "$watch_pid"
    broken "the watch did not end within 10 s of SIGTERM"
    wait "$watch_pid"
  else
    wait "$watch_pid" || broken "the watch ended with $? on SIGTERM"
  fi
  cat "$logs/watch" >>"$logs/runs"
  # The folders the watch indexed after its first round over the tree.
  runs=$(awk '/^Watching/ { on = 1 } on && /^Generating index for/ { n++ } END { print n + 0 }' \
           "$logs/watch")
  report "watch ($2 /proc)" "folder runs"
}

# Local icons with the site's icon folder swapped for a link to the decoy's `pics`. The www
# root is the site and a download address is set, so types without an icon are asked for;
# the network namespace has no interface up, so nothing is fetched.
case_icons() {
  swapped=(pics)
  fresh_case
  make_theme icons "" txtWWWroot.Text=/site lblWWWroot.Caption=/site \
    'txtIcohrefDl.Text=http://127.0.0.1:9/#.gif'
  calm_run -sheme icons
  [ -f "$root/site/pics/icons/txt.gif" ] || broken "no icons in site/pics/icons"
  grep -q '^Selected : `127.0.0.1:9`' "$logs/runs" || broken "no icon was asked for"
  start_swapper 200 12000 "$1" /site/pics
  runs_while_swapping icons
  finish_swapper
  report "icons ($2 /proc)"
}

# Stale temporary files in every folder of the site, named as the decoy's, before each round
# of runs: sweeping them must not reach the decoy's.
case_sweep() {
  swapped=(t1 t2/i2 t3/i3/s07 t4/i1)
  fresh_case
  calm_run
  local round d
  for round in 1 2 3 4; do
    # No swapper runs: every folder is in its place, and find follows no link.
    (cd "$root/site" && find . -type d) | while read -r d; do
      printf 'stale\n' >"$root/site/${d#./}/.tabulo-999999-abcdefghijkl.tmp"
    done
    start_swapper 50 12000 "$1$round" /site/t1 /site/t2/i2 /site/t3/i3/s07 /site/t4/i1
    runs_while_swapping ""
    finish_swapper
  done
  report "sweep ($2 /proc)"
}

for proc in with without; do
  if [ $proc = without ] && [ "$sanitized" = 1 ]; then
    note "SKIP  every case without /proc: the sanitizers' runtime needs it"
    continue
  fi
  [ $proc = with ] && { mount -t proc -o nosuid,nodev,noexec proc "$root/proc" || exit 1; }
  if [ $proc = with ]; then enter; else enter TABULO_FAULTS=openat2; fi
  seed=1
  for name in ${LINK_RACES_CASES:-runs watch icons sweep}; do
    started=$SECONDS
    "case_$name" "$seed" "$proc"
    seed=$((seed + 1))
  done
  [ $proc = with ] && umount "$root/proc"
done
note "link races: $passed passed, $failed failed"
[ $failed = 0 ]
