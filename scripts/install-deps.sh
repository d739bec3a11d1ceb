#!/usr/bin/env bash
# Installs the Debian packages of the named sets, only those that are missing:
#   build (the default)  compilers, CMake, Ninja, pkg-config, Asio, cmark, libcrypto (OpenSSL),
#                        libcurl (buckets' requests, signed) and expat (their listings),
#                        CLI11 (the command line's parser), Qt 6 and GoogleTest: what building
#                        needs; rsvg-convert and Python's Pillow draw the page icons
#   test                 build, plus what the tests run: nginx, tinyproxy, lighttpd, curl, Perl
#                        with its CGI module, Python (its JSON parser reads listings back), the
#                        German locale the command line is tried in, the checkers of the
#                        installed desktop entry and man pages, unshare and mount, which
#                        shut the link-race runs in namespaces and a chroot of their own, and
#                        headless Chromium, which lays pages out on a phone's width, and
#                        an X server of its own (Xvfb) with Openbox and xdotool, where the
#                        window is driven with real key events, clang-tidy, which
#                        checks the sources, ssh-keygen, openssl and git, which make the keys
#                        and the repository the audit must find, and Python's feedparser,
#                        which reads the Atom feed as feed readers do; and the clients set
#   clients              web clients that fetch a written site as people and programs do: wget,
#                        rclone, lftp and linkchecker (tests/clients/conformance.sh)
#   browser              headless Chromium with fonts, and from npm (tests/browser, pinned by
#                        its lock file) puppeteer-core, which drives it, and axe-core, which
#                        audits pages; the page tests and `make bench-pages` use them; and
#                        (tests/s3) s3rver, the S3 API server the bucket tests start
#   fuzz                 build, plus clang and libFuzzer for the fuzzing harnesses
#   package              build, plus what CPack's Debian generator runs to find the Depends
#   docs                 build, plus headless Chromium, which draws the modern page for the README
# Several sets may be named at once.
set -euo pipefail

build=(g++ cmake ninja-build make pkg-config libgtest-dev libasio-dev libcmark-dev libssl-dev
       libcurl4-openssl-dev libexpat1-dev nlohmann-json3-dev zlib1g-dev libcli11-dev qt6-base-dev libgl-dev librsvg2-bin
       python3-pil)
packages=("${build[@]}")
german_locale=false
browser=false
sets=("${@:-build}")
# The tests audit pages in the browser and fetch sites with the clients.
for set in "${sets[@]}"; do [ "$set" = test ] && sets+=(browser clients); done
for set in "${sets[@]}"; do
  case "$set" in
    build) ;;
    test)
      packages+=(perl libcgi-pm-perl python3 nginx tinyproxy lighttpd curl locales
                 desktop-file-utils groff-base tidy util-linux mount chromium fonts-dejavu-core
                 xvfb openbox xdotool x11-utils clang-tidy
                 openssh-client openssl git python3-feedparser)
      german_locale=true
      ;;
    browser)
      packages+=(chromium fonts-dejavu-core)
      # Node.js and npm, from Debian when the machine has none of its own.
      command -v npm >/dev/null || packages+=(nodejs npm)
      browser=true
      ;;
    clients) packages+=(wget rclone lftp linkchecker) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    package) packages+=(dpkg-dev file) ;;
    docs) packages+=(chromium fonts-dejavu-core) ;;
    *) echo "unknown package set: $set (build, test, browser, clients, fuzz, package or docs)" >&2; exit 2 ;;
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
if $german_locale && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# The npm packages, as the lock files pin them, again only when a lock file changed.
if $browser; then
  for dir in "$(dirname "$0")/../tests/browser" "$(dirname "$0")/../tests/s3"; do
    if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.installed-lock" 2>/dev/null; then
      echo "Installing the npm packages of $(basename "$dir") tests"
      (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
       cp package-lock.json node_modules/.installed-lock)
    fi
  done
fi
