#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over every source file under src/, as the
# build BUILD_DIR compiles it (its compile_commands.json), on all cores. Any finding fails.
# Files the build generates (Qt's moc output) lie under BUILD_DIR and are not checked.
#   clang-tidy.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: clang-tidy.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json" >&2; exit 2; }
# The source folder's path as a regular expression, for run-clang-tidy's file filter.
src=$(printf '%s' "$root/src/" | sed 's/[][\.*^$+?(){}|]/\\&/g')
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
# The build's warning flags come along as clang's own; changes of signedness are left out as
# in a clang build (src/CMakeLists.txt).
run-clang-tidy -p "$build" -quiet -j "$(nproc)" -extra-arg=-Wno-sign-conversion \
  "^$src.*\.(cpp|cc)$" >"$log" 2>&1 || status=$?
# Only the findings and what explains them; not the command lines or the counts of warnings
# in other libraries' headers that the header filter left out.
sed 's/\x1b\[[0-9;]*m//g' "$log" |
  grep -vE '^(clang-tidy(-[0-9]+)? |[0-9]+ warnings? generated\.|Suppressed [0-9]+ warnings|Use -header-filter|Running clang-tidy|Enabled checks:)' || true
if [ "$status" -ne 0 ]; then
  echo "clang-tidy found the above in src/ (checks and exclusions: .clang-tidy)"
  exit 1
fi
echo "clang-tidy: no findings in src/"
