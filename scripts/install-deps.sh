#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
# With the argument "fuzz", also clang and libFuzzer for the fuzzing harnesses.
set -euo pipefail

packages=(g++ cmake ninja-build make libgtest-dev perl libasio-dev nginx tinyproxy libcgi-pm-perl lighttpd curl qt6-base-dev libgl-dev)
for extra in "$@"; do
  case "$extra" in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown package set: $extra" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
