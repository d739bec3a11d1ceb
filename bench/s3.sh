#!/usr/bin/env bash
# Times tabulo-cli over a bucket in s3rver (an S3 API server keeping its objects in a folder,
# tests/s3) on 127.0.0.1: a fresh run and an unchanged re-run, with the requests each made,
# next to `rclone lsf -R` listing the same bucket; then a run from an S3 Inventory of
# INVENTORY_ROWS rows, with its peak memory. Prints figures only; nothing here passes or fails.
set -euo pipefail
shopt -s inherit_errexit

KEYS=${KEYS:-100000}        # objects in the bucket
PREFIXES=${PREFIXES:-1000}  # folders they are spread over
RUNS=${RUNS:-3}             # timed runs of each, the median shown
INVENTORY_ROWS=${INVENTORY_ROWS:-1000000}  # rows of the inventory, 100 to a folder
TIME_BIN=${TIME_BIN:-/usr/bin/time}

for v in KEYS PREFIXES RUNS INVENTORY_ROWS; do
    if ! [[ ${!v} =~ ^[1-9][0-9]*$ ]]; then
        echo "$v must be a whole number from 1, got '${!v}'" >&2
        exit 2
    fi
done
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TABULO_CLI=${TABULO_CLI:-$root/build/bin/tabulo-cli}
s3rver=$root/tests/s3/node_modules/s3rver/bin/s3rver.js
[[ -x $TABULO_CLI ]] || { echo "no tabulo-cli at $TABULO_CLI: build first: make" >&2; exit 1; }
[[ -f $s3rver ]] || { echo "no s3rver: scripts/install-deps.sh test" >&2; exit 1; }
command -v rclone >/dev/null || { echo "no rclone: scripts/install-deps.sh clients" >&2; exit 1; }
# Peak RSS needs GNU time; the shell keyword cannot report it.
if [[ ! -x $TIME_BIN && $TIME_BIN == /usr/bin/time && $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "installing Debian package 'time' for the peak memory figures..." >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y time >/dev/null 2>&1 || true
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tabulo-bench-s3.XXXXXX")
server=""
cleanup() {
    if [[ -n $server ]]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$work/s3" "$work/home" "$work/tree"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
env -i PATH=/usr/bin:/bin HOME="$work" NODE_OPTIONS=--openssl-legacy-provider \
    node "$s3rver" --silent -d "$work/s3" -a 127.0.0.1 -p "$port" --configure-bucket site &
server=$!
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
endpoint="http://127.0.0.1:$port"
# Both programs get an environment of their own: the machine's CA settings and credentials
# never reach them.
clean=(env -i PATH=/usr/bin:/bin HOME="$work" TABULO_HOME="$work/home" LC_ALL=C TZ=UTC
       AWS_ACCESS_KEY_ID=S3RVER AWS_SECRET_ACCESS_KEY=S3RVER AWS_ENDPOINT_URL="$endpoint")
rclone_args=(--s3-provider Other --s3-endpoint "$endpoint" --s3-access-key-id S3RVER
             --s3-secret-access-key S3RVER --s3-force-path-style=true --s3-region us-east-1)

# The objects: KEYS small files in PREFIXES folders two levels deep, copied in by rclone.
python3 - "$work/tree" "$KEYS" "$PREFIXES" <<'PY'
import os, sys
top, keys, prefixes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(keys):
    p = i % prefixes
    folder = os.path.join(top, "group-%03d" % (p % 32), "folder-%05d" % p)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file-%07d.txt" % i), "w") as f:
        f.write("x" * (i % 97))
PY
t0=$(date +%s.%N)
"${clean[@]}" rclone copy "$work/tree" :s3:site "${rclone_args[@]}" --transfers 32 --checkers 32 -q
t1=$(date +%s.%N)
echo "bucket: $KEYS objects in $PREFIXES folders (copied in by rclone in $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }') s)"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>"$work/err"; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
summary() { grep '^Summary: ' "$work/err" | tail -1; }

listing=() fresh=() rerun=()
for _ in $(seq "$RUNS"); do
    listing+=("$(timed "${clean[@]}" rclone lsf -R :s3:site "${rclone_args[@]}")")
done
# A fresh run each time: the pages of the run before are removed (outside the timing).
for _ in $(seq "$RUNS"); do
    "${clean[@]}" rclone delete :s3:site "${rclone_args[@]}" --include 'index.html' -q
    fresh+=("$(timed "${clean[@]}" "$TABULO_CLI" s3://site)")
    fresh_summary=$(summary)
    rerun+=("$(timed "${clean[@]}" "$TABULO_CLI" s3://site)")
    rerun_summary=$(summary)
done
l=$(printf '%s\n' "${listing[@]}" | median)
f=$(printf '%s\n' "${fresh[@]}" | median)
r=$(printf '%s\n' "${rerun[@]}" | median)
printf '%-34s %9s %9s\n' "work" "seconds" "/rclone"
printf '%-34s %9.3f %9s\n' "rclone lsf -R (the bare listing)" "$l" "1.00"
printf '%-34s %9.3f %9.2f\n' "tabulo-cli, fresh" "$f" "$(awk -v a="$f" -v b="$l" 'BEGIN { print a / b }')"
printf '%-34s %9.3f %9.2f\n' "tabulo-cli, unchanged re-run" "$r" "$(awk -v a="$r" -v b="$l" 'BEGIN { print a / b }')"
echo "fresh:  $fresh_summary"
echo "re-run: $rerun_summary"
echo "(goals: the fresh run within 1.5x of rclone's listing; the re-run puts nothing)"

# The inventory path: INVENTORY_ROWS rows in three gzip'd CSV files, in reverse order, for keys
# below "inventory/" (the pages land there; the objects themselves need not exist).
mkdir -p "$work/inv/site/all/data" "$work/inv/site/all/2026-12-01T00-00Z"
python3 - "$work/inv" "$INVENTORY_ROWS" <<'PY'
import gzip, sys
top, rows = sys.argv[1], int(sys.argv[2])
outs = [gzip.open("%s/site/all/data/part%d.csv.gz" % (top, i), "wt", compresslevel=1) for i in range(3)]
for i in range(rows - 1, -1, -1):
    outs[i % 3].write('"site","inventory/g%03d/f%06d/file-%08d.txt","%d","2026-11-30T10:20:30.000Z","d41d8cd98f00b204e9800998ecf8427e"\n'
                      % (i // 100 % 100, i // 100, i, i % 997))
for o in outs:
    o.close()
files = ", ".join('{"key": "site/all/data/part%d.csv.gz"}' % i for i in range(3))
with open("%s/site/all/2026-12-01T00-00Z/manifest.json" % top, "w") as f:
    f.write('{"sourceBucket": "site", "fileFormat": "CSV", "fileSchema": "Bucket, Key, Size, LastModifiedDate, ETag", "files": [%s]}' % files)
PY
manifest=$work/inv/site/all/2026-12-01T00-00Z/manifest.json
inventory_run() {
    local t0 t1
    t0=$(date +%s.%N)
    if [[ -x $TIME_BIN ]]; then
        "${clean[@]}" TMPDIR="$work" "$TIME_BIN" -f '%M' -o "$work/rss" "$TABULO_CLI" s3://site/inventory --inventory "$manifest" "$@" \
            >/dev/null 2>"$work/err"
    else
        "${clean[@]}" TMPDIR="$work" "$TABULO_CLI" s3://site/inventory --inventory "$manifest" "$@" >/dev/null 2>"$work/err"
        echo n/a >"$work/rss"
    fi
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" -v kb="$(tail -n 1 "$work/rss")" 'BEGIN { printf "%9.3f %12s", b - a, kb }'
}
echo
echo "inventory: $INVENTORY_ROWS rows, $(( (INVENTORY_ROWS + 99) / 100 )) folders"
printf '%-34s %9s %12s\n' "work" "seconds" "peak KB"
printf '%-34s %s\n' "rows to pages (--dry-run)" "$(inventory_run --dry-run)"
printf '%-34s %s\n' "rows to pages, put into s3rver" "$(inventory_run)"
echo "put:    $(summary)"
