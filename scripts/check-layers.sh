#!/usr/bin/env bash
# Fails (exit 1) when a file under src/ includes a header from a layer above its own, naming
# the file, the line and the include, or when files include each other in a cycle. The layer
# order is in scripts/layers.txt.
#   check-layers.sh [SRC_DIR [LAYERS_FILE]]     (defaults: src/ and scripts/layers.txt)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exec python3 "$here/check-layers.py" "${1:-$here/../src}" "${2:-$here/layers.txt}"
