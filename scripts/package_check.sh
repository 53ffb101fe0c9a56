#!/usr/bin/env bash
# Builds the Debian package from a build folder, checks it with the Debian
# tools, unpacks it into a temporary root and runs the unpacked mervok-search
# through its link in bin/ over the sample folder: scripts/package_check.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(mktemp -d)
sample=$(mktemp -d)
home=$(mktemp -d)
# The unpacked folder is made read-only below; give it back to be removed.
trap 'chmod -R u+w "$root" 2>/dev/null; rm -rf "$root" "$sample" "$home"' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/mervok_*.deb)
echo "Package: $deb"

# The captions are Japanese: the package brings a Japanese font.
dpkg-deb -f "$deb" Depends | grep -q 'fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic' ||
  { echo "the package does not depend on a Japanese font"; exit 1; }
lintian --fail-on error --suppress-tags maintscript-calls-ldconfig "$deb"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/mervok.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
for page in "$root"/usr/share/man/man1/*.1.gz; do
  problems=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$problems" ] || { echo "$page: $problems"; exit 1; }
done

# The unpacked program finds its libraries and the viewer's settings through
# its real path. Its folder is read-only to an ordinary user, as an installed
# one is, so its settings go to that user's home.
cp -r "$build/sample/." "$sample/"
chmod -R a+rX "$root" "$sample"
chmod -R a-w "$root/usr/lib/mervok"
chown nobody "$home" 2>/dev/null || true
# A home of its own, whoever runs the check: the user's own settings must
# neither change the hits nor be changed.
run=(env -u XDG_CONFIG_HOME HOME="$home" "$root/usr/bin/mervok-search" -r "$sample")
if [ "$(id -u)" = 0 ]; then
  run=(setpriv --reuid=nobody --regid=nogroup --clear-groups "${run[@]}")
fi
out=$("${run[@]}")
echo "$out"
for expected in readme-and-tool.zip guide.lzh japanese-manual.lzh driver.cab lha-setup.exe html-manual.zip; do
  grep -q "$expected" <<<"$out" || { echo "the installed search missed $expected"; exit 1; }
done
if grep -q "tool-only.zip\|plain-program.exe" <<<"$out"; then
  echo "the installed search listed an archive without documents"
  exit 1
fi
# The window program's usage is told without a display.
for args in --help "a b"; do
  # shellcheck disable=SC2086
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/mervok" $args 2>&1 || true)
  if ! grep -q "usage: mervok" <<<"$said"; then
    echo "mervok $args without a display did not tell its usage"
    exit 1
  fi
done
# So is the viewer's, with its options for an entry and a text.
env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/lib/mervok/Quorvix.exe" --help | grep -q -- "--find TEXT" ||
  { echo "Quorvix.exe --help without a display did not tell its usage"; exit 1; }
echo "Package check passed."
