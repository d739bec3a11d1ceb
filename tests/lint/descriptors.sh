#!/bin/sh
# Every descriptor the engine opens is closed on exec: a page written while a program is
# started (xdg-open, a browser) must not hand it a folder of the site. Lists the calls that
# open or copy a descriptor without saying so (a call is read up to its ";").
src=${1:?usage: descriptors.sh SRC_DIR}
found=$(find "$src" -name '*.cpp' -o -name '*.h' | sort | xargs awk '
  FNR == 1 { open = 0 }
  !open && /::(open|openat|dup|dup2|dup3|creat|inotify_init|inotify_init1|eventfd|socket)\(|F_DUPFD([^_]|$)/ {
    open = 1; call = ""; where = FILENAME ":" FNR
  }
  open {
    call = call $0
    if ($0 ~ /;/) {
      open = 0
      if (call !~ /CLOEXEC/) print where ": " call
    }
  }')
if [ -n "$found" ]; then
  echo "descriptors opened without close-on-exec:"
  echo "$found"
  exit 1
fi
echo "every descriptor is closed on exec"
