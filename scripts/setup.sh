#!/usr/bin/env bash
# Sets up a Debian 12 machine for Mervok, builds it, and then either runs it
# ("run"), runs every test ("test") or measures the search over a share and on
# a cold disk ("bench", as root). Safe to run again: it installs only what is
# missing and rebuilds only what changed.
set -euo pipefail

mode=${1:-run}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libarchive-dev zlib1g-dev
  libgtest-dev libgmock-dev
  # A Japanese font, as the package depends on one: the captions are Japanese.
  fonts-ipafont-gothic qt6-translations-l10n
  xdg-utils shared-mime-info
)
if [ "$mode" = test ] || [ "$mode" = bench ]; then
  # Real archivers make the archives the tests look into; Xvfb and xdotool
  # drive the real window.
  packages+=(jlha-utils gcab zip unzip p7zip-full libarchive-tools xvfb xdotool x11-utils)
  # Qt's SVG image plugin, which the viewer's pages must never hand an image
  # to: present, so that the test that shows it runs.
  packages+=(libqt6svg6)
  # The Debian package is built and checked with Debian's own tools.
  packages+=(dpkg-dev file lintian desktop-file-utils appstream man-db)
fi

if [ "$mode" = bench ]; then
  # A share of its own on loopback, and the bench's arithmetic.
  packages+=(openssh-server openssh-client sshfs fuse3 iproute2 bc python3 time)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
werror=OFF
[ -n "${CI:-}" ] && werror=ON

configure_and_build() { # dir, extra cmake args...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DMERVOK_WERROR="$werror" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

case "$mode" in
run)
  configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  exec bash scripts/run.sh build
  ;;
test)
  configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  ctest --test-dir build --output-on-failure -j "$jobs"
  # ctest gives each case its own timeout; the package check, which builds
  # and runs the package, gets one of its own so that a hang fails too.
  timeout --kill-after=10 900 bash scripts/package_check.sh build
  configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DMERVOK_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
  # The threads of the search, the archiver libraries and the command-line
  # tool under ThreadSanitizer; only what is not ours is suppressed.
  configure_and_build build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMERVOK_TSAN=ON \
    -DMERVOK_BUILD_GUI=OFF
  TSAN_OPTIONS="suppressions=$top/tests/tsan.supp halt_on_error=1" \
    ctest --test-dir build-tsan --output-on-failure -j "$jobs"
  ;;
bench)
  configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  bash bench/share_bench.sh build
  ;;
*)
  echo "usage: $0 run|test|bench" >&2
  exit 2
  ;;
esac
