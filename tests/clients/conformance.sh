#!/usr/bin/env bash
# Real clients against Tabulo's pages. A tree of odd names is indexed with four themes (classic
# and modern, each as shipped and with links for web servers), served by nginx (and lighttpd
# once) as plain static files, and fetched by rclone, wget, lftp and linkchecker, and read by a
# media player's row rule (rows.py); nginx's own autoindex of the same tree is the reference.
#   conformance.sh TABULO_CLI assert   fails unless every client gets the whole tree from the
#                                      pages written with links for web servers
#   conformance.sh TABULO_CLI record   prints what each client got, never fails
# KEEP_TMP=1 keeps the temporary folder (sites, downloads, logs) and names it at the end.
set -uo pipefail
cli=${1:?usage: conformance.sh TABULO_CLI assert|record} mode=${2:-}
case "$mode" in
  assert|record) ;;
  *) echo "usage: conformance.sh TABULO_CLI assert|record" >&2; exit 2 ;;
esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
give_up() {  # In record mode nothing fails, not even a machine without the clients.
  echo "clients: $*" >&2
  [ "$mode" = record ] && exit 0
  exit 1
}
export PATH=$PATH:/usr/sbin
for tool in wget rclone lftp linkchecker nginx lighttpd python3; do
  command -v "$tool" >/dev/null || give_up "no $tool; run scripts/install-deps.sh clients"
done
# The names are UTF-8 and lftp writes them in the locale's charset. The helpers leave no
# compiled files in the source tree.
export LC_ALL=C.UTF-8 TZ=UTC PYTHONDONTWRITEBYTECODE=1

tmp=$(mktemp -d)
servers=()
stop_servers() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  servers=()
}
trap 'stop_servers; [ -n "${KEEP_TMP:-}" ] && echo "kept $tmp" >&2 || rm -rf "$tmp"' EXIT
# No client reads or writes the real home: rclone's config, wget's HSTS list, lftp's history.
export HOME="$tmp/client-home" XDG_CONFIG_HOME="$tmp/client-home/config" \
       XDG_CACHE_HOME="$tmp/client-home/cache" XDG_DATA_HOME="$tmp/client-home/data" \
       RCLONE_CONFIG="$tmp/rclone.conf"
mkdir -p "$HOME" "$tmp/home" "$tmp/sites" "$tmp/runs" "$tmp/failures"
: > "$RCLONE_CONFIG"

# The tree: three levels of names that need escaping in a URL, in HTML or both, non-ASCII in
# both normal forms, and blanks at either end. No backslash: clients take it for a separator.
# No name starting with "~": lftp skips such links, however they are written. "%C3%A9.txt" is
# never beside "é.txt": wget would save both to one local file.
tree="$tmp/tree"
files=(
  "é.txt" "日本語.txt" "a b.txt" "a  two  blanks.txt" "100%.txt" "#hash.txt" "?.txt" "x&y.txt"
  "1+1=2.txt" "semi;colon.txt" " lead space.txt" "trail space .txt" "%41.txt" "%2F.txt"
  "it's.txt" "say \"hi\".txt" "<tag>.txt" "[brackets].txt" "tilde~mid.txt"
  "comma,name.txt" "@at \$dollar!.txt" "(paren).txt" "€uro.txt" "🎵 song.mp3"
  $'cafe\xcc\x81 decomposed.txt' "UPPER.TXT" "dots.in.name.tar.gz" "noext"
  "Café/é.txt" "Café/#x.txt"
  "Café/Ünïcödé dir/100%.txt" "Café/Ünïcödé dir/?q=1&r=2.txt"
  "Café/Ünïcödé dir/ lead space dir/a b.txt" "Café/Ünïcödé dir/ lead space dir/日本語.txt"
  "Ünïcödé dir/Ünïcödé.txt" "Ünïcödé dir/=equals.txt" "Ünïcödé dir/%C3%A9.txt"
  "50% & ;=+ mix/x&y.txt" "50% & ;=+ mix/%41 dir/%C3%A9.txt" "50% & ;=+ mix/%41 dir/+.txt"
  "#dir/file.txt" "#dir/日本/#.txt" "#dir/日本/trail space /semi;colon.txt"
)
empty_folders=("Ünïcödé dir/empty dir")
number=0
for rel in "${files[@]}"; do
  mkdir -p "$tree/$(dirname "$rel")"
  number=$((number + 1))
  # Distinct bytes in each, with a line end, a NUL and a byte that is no UTF-8 to be kept.
  printf 'file %d of the tree: %s\r\n\000\377\n' "$number" "$rel" > "$tree/$rel"
done
for rel in "${empty_folders[@]}"; do mkdir -p "$tree/$rel"; done

# The themes: the shipped ones as they are, and each with links for web servers.
export TABULO_HOME="$tmp/home"
if ! "$cli" --save-theme classic-default >/dev/null 2>&1 ||
   ! "$cli" --save-theme modern-default -sheme modern >/dev/null 2>&1; then
  give_up "$cli could not save the themes"
fi
for style in classic modern; do
  # A saved theme ends without a line end; the option goes on a line of its own.
  { sed -e '/^chkServerLinks\.Value=/d' -e 's/^chkReqrsive\.Value=.*/chkReqrsive.Value=1/' \
        "$TABULO_HOME/$style-default.color"
    printf '\nchkServerLinks.Value=1\n'; } > "$TABULO_HOME/$style-server.color"
done
for theme in classic-default modern-default classic-server modern-server; do
  cp -a "$tree" "$tmp/sites/$theme"
  "$cli" --answer=yes -q "$tmp/sites/$theme" -sheme "$theme" > "$tmp/runs/$theme.log" 2>&1 ||
    echo "clients: tabulo-cli failed for $theme: $(tail -n 3 "$tmp/runs/$theme.log")" >&2
done

# The servers, on free ports of the loopback, serving the sites as plain static files.
columns=(classic-default modern-default classic-server modern-server classic-server-lighttpd
         nginx-autoindex)
declare -A port site
for theme in classic-default modern-default classic-server modern-server; do
  site[$theme]="$tmp/sites/$theme"
done
site[classic-server-lighttpd]="$tmp/sites/classic-server"
site[nginx-autoindex]="$tree"
start_servers() {  # Fails when a server is not up, as when another program took its port first.
  local ports i column pid
  read -r -a ports < <(python3 -c '
import socket
held = [socket.socket() for _ in range(6)]
for s in held: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))')
  for i in "${!columns[@]}"; do port[${columns[$i]}]=${ports[$i]}; done
  {
    echo "daemon off; master_process off; pid $tmp/nginx.pid; error_log $tmp/nginx-error.log;"
    echo "events { worker_connections 64; }"
    echo "http { include /etc/nginx/mime.types; default_type application/octet-stream;"
    echo "  access_log $tmp/nginx-access.log; client_body_temp_path $tmp/nginx-tmp;"
    echo "  proxy_temp_path $tmp/nginx-tmp; fastcgi_temp_path $tmp/nginx-tmp;"
    echo "  uwsgi_temp_path $tmp/nginx-tmp; scgi_temp_path $tmp/nginx-tmp;"
    for column in classic-default modern-default classic-server modern-server; do
      echo "  server { listen 127.0.0.1:${port[$column]}; root \"${site[$column]}\";"
      echo "           index index.html; autoindex off; }"
    done
    echo "  server { listen 127.0.0.1:${port[nginx-autoindex]}; root \"$tree\"; autoindex on; }"
    echo "}"
  } > "$tmp/nginx.conf"
  cat > "$tmp/lighttpd.conf" <<EOF
server.document-root = "${site[classic-server-lighttpd]}"
server.bind = "127.0.0.1"
server.port = ${port[classic-server-lighttpd]}
server.errorlog = "$tmp/lighttpd-error.log"
index-file.names = ("index.html")
dir-listing.activate = "disable"
mimetype.assign = (".html" => "text/html", ".css" => "text/css", ".gif" => "image/gif",
                   ".txt" => "text/plain", "" => "application/octet-stream")
EOF
  nginx -c "$tmp/nginx.conf" -p "$tmp" 2>> "$tmp/nginx-error.log" & servers+=($!)
  lighttpd -D -f "$tmp/lighttpd.conf" 2>> "$tmp/lighttpd-error.log" & servers+=($!)
  for column in "${columns[@]}"; do
    for _ in $(seq 100); do
      for pid in "${servers[@]}"; do kill -0 "$pid" 2>/dev/null || return 1; done
      (exec 3<>"/dev/tcp/127.0.0.1/${port[$column]}") 2>/dev/null && continue 2
      sleep 0.1
    done
    return 1
  done
}
for attempt in 1 2 3 4; do
  start_servers && break
  stop_servers
  [ "$attempt" -lt 4 ] || give_up "the servers did not start: $(cat "$tmp"/*-error.log)"
done

# Read before linkchecker drops to nobody, as it does when run as root. Other hosts (the about
# line's) are not checked.
cat > "$tmp/linkcheckerrc" <<EOF
[checking]
threads=4
timeout=10
robotstxt=0
[filtering]
checkextern=0
EOF

# Runs one client against one column; leaves the cell in $tmp/cells, the failures beside it, and
# the client's exit status as a note: lftp, for one, fails on folders of icons it may not list.
run_client() {  # CLIENT COLUMN
  local client=$1 column=$2 url="http://127.0.0.1:${port[$2]}/" work="$tmp/work/$1.$2"
  local failures="$tmp/failures/$column.$client" cell status
  mkdir -p "$work"
  case "$client" in
    rclone) timeout 60 rclone lsf -R --http-url "$url" :http: > "$work/listing" 2> "$work/err" ;;
    wget) timeout 60 wget -r -np -e robots=off -nv --no-hsts --restrict-file-names=nocontrol \
            -P "$work/files" -o "$work/log" "$url" 2> "$work/err" ;;
    lftp) timeout 60 lftp -c "set net:max-retries 2; set net:reconnect-interval-base 1;
            set net:timeout 10; mirror $url '$work/mirror'" > "$work/out" 2> "$work/err" ;;
    linkchecker) timeout 90 linkchecker -f "$tmp/linkcheckerrc" --no-status \
                   --no-warnings -r 10 "$url" > "$work/out" 2> "$work/err" ;;
    rows) true ;;
  esac
  status=$?
  case "$client" in
    rclone) set -- "$tree" "${site[$column]}" "$work/listing" "$url" ;;
    wget) set -- "$tree" "$work/log" "$work/files" "$url" ;;
    lftp) set -- "$tree" "$work/mirror" "$url" ;;
    linkchecker) set -- "$work/out" ;;
    rows) set -- "$tree" "$url" ;;
  esac
  cell=$(python3 "$here/judge.py" "$client" "$@" 2> "$failures") || [ -s "$failures" ] ||
    echo "the judge failed" > "$failures"
  if [ "$status" -ne 0 ]; then
    cell+=", exit $status"
    echo "note: $client exited with $status: $(grep -v '^WARNING.*root user' "$work/err" |
      tail -n 2 | tr '\n' ' ')" > "$failures.note"
  fi
  printf '%s\n' "${cell:-?}" > "$tmp/cells/$column.$client"
}
mkdir -p "$tmp/cells" "$tmp/work"
clients=(rclone wget lftp linkchecker rows)
# All at once: linkchecker keeps to a few requests a second, the others take a second.
running=()
for column in "${columns[@]}"; do
  for client in "${clients[@]}"; do run_client "$client" "$column" & running+=($!); done
done
wait "${running[@]}"

# The table, then what failed: only the pages with links for web servers must pass.
asserted=(classic-server modern-server classic-server-lighttpd)
{
  printf 'client'; printf '\t%s' "${columns[@]}"; echo
  for client in "${clients[@]}"; do
    printf '%s' "$client"
    for column in "${columns[@]}"; do printf '\t%s' "$(cat "$tmp/cells/$column.$client")"; done
    echo
  done
} | python3 "$here/judge.py" table
echo "(assert mode asks the whole tree of every client in: ${asserted[*]})"
failed=0
for column in "${columns[@]}"; do
  for client in "${clients[@]}"; do
    list="$tmp/failures/$column.$client"
    # Each failure of an asserted column when asserting, else the first few as a sample.
    limit=8
    if [[ " ${asserted[*]} " == *" $column "* ]]; then
      [ -s "$list" ] && failed=1
      [ "$mode" = record ] || limit=1000
    else
      [ "$mode" = record ] || continue
    fi
    [ -s "$list" ] || { [ "$mode" = record ] && [ -s "$list.note" ]; } || continue
    echo
    echo "$client on $column ($(wc -l < "$list") failures):"
    head -n "$limit" "$list" | sed 's/^/  /'
    [ "$(wc -l < "$list")" -le "$limit" ] || echo "  ..."
    [ -s "$list.note" ] && sed 's/^/  /' "$list.note"
  done
done
if [ "$mode" = assert ] && [ "$failed" -ne 0 ]; then
  echo "clients: some client did not get the whole tree from ${asserted[*]}" >&2
  exit 1
fi
exit 0
