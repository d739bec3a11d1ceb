#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing, and
# the German locale the tests run the command line under. With the argument "fuzz", also clang
# and libFuzzer for the fuzzing harnesses.
set -euo pipefail

packages=(g++ cmake ninja-build make libgtest-dev perl libasio-dev nginx tinyproxy libcgi-pm-perl lighttpd curl qt6-base-dev libgl-dev locales)
for extra in "$@"; do
  case "$extra" in
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown package set: $extra" >&2; exit 2 ;;
  esac
done

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Numbers must read the same where the decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
