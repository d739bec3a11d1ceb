#!/usr/bin/env bash
# The layer check on scratch trees: a clean one passes; includes of a higher layer (also
# through "../"), a cycle of three files and a folder outside the order each fail, named.
set -euo pipefail
check=${1:?usage: check-layers-test.sh CHECK_LAYERS_SCRIPT}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

put() {  # put FILE [INCLUDE...]: a file with one #include "…" line per include
    local file=$work/src/$1
    shift
    mkdir -p "$(dirname "$file")"
    printf '#pragma once\n' >"$file"
    for include in "$@"; do printf '#include "%s"\n' "$include" >>"$file"; done
}

expect() {  # expect WANTED_STATUS LINE...: runs the check, wants that status and those lines
    local wanted=$1
    shift
    local status=0 before=$failures
    "$check" "$work/src" "$work/layers.txt" >"$work/out" 2>&1 || status=$?
    if [ "$status" -ne "$wanted" ]; then
        echo "FAIL: exit $status, wanted $wanted"
        failures=$((failures + 1))
    fi
    for line in "$@"; do
        if ! grep -qxF -- "$line" "$work/out"; then
            echo "FAIL: no line: $line"
            failures=$((failures + 1))
        fi
    done
    [ "$failures" -eq "$before" ] || { echo "-- output:"; cat "$work/out"; }
}

printf '# lowest first\ncore/base\ncore/top\napp\n' >"$work/layers.txt"
put core/base/A.h
put core/base/A.cpp base/A.h generated.h
put core/top/B.h base/A.h
put core/top/C.h
put core/top/B.cpp top/B.h top/C.h
put app/Local.h
put app/main.cpp top/B.h Local.h
expect 0

put core/base/A.cpp base/A.h top/C.h ../top/B.h
expect 1 \
    'src/core/base/A.cpp:3: includes "top/C.h" from core/top, a layer above core/base' \
    'src/core/base/A.cpp:4: includes "../top/B.h" from core/top, a layer above core/base'
put core/base/A.cpp base/A.h

# A header and its source file are one: E.cpp including F.h closes the cycle as E.h would.
put core/top/D.h top/E.h
put core/top/E.h
put core/top/E.cpp top/F.h
put core/top/F.h top/D.h
expect 1 \
    'include cycle: core/top/D -> core/top/E -> core/top/F -> core/top/D (src/core/top/D.h:2 includes "top/E.h"; src/core/top/E.cpp:2 includes "top/F.h"; src/core/top/F.h:2 includes "top/D.h")'
rm "$work/src/core/top/F.h"

put core/extra/G.h
expect 1 "src/core/extra/G.h: its folder core/extra is not in $work/layers.txt"
rm -r "$work/src/core/extra"

expect 0
[ "$failures" -eq 0 ] && echo "the layer check passes a clean tree and names every planted fault"
exit $((failures > 0))
