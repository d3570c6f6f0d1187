#!/usr/bin/env bash
# Builds the Debian package and checks what it holds and what it depends on:
# the libraries the binaries link (found by dpkg-shlibdeps) and what the
# recorder starts or reads at run time.
#   tests/package_test.sh BUILD_DIR
set -euo pipefail
build=$(readlink -f "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" >/dev/null)
deb=$(ls "$work"/vuzizeri_*.deb)
contents=$(dpkg-deb -c "$deb")
for f in usr/bin/vuzizeri usr/bin/tessane usr/bin/vuzizeri-many usr/bin/vuzizeri-matriz usr/bin/vuzizeri-juntar usr/bin/vuzizeri-verificar usr/bin/vuzizeri-mcp usr/bin/vuzizeri-servidor \
         usr/share/vuzizeri/fonts.conf usr/share/vuzizeri/destinos.tsv \
         usr/share/vuzizeri/aparelhos.tsv usr/share/vuzizeri/banners.tsv \
         usr/share/vuzizeri/controles.css \
         usr/lib/vuzizeri/web-extensions/libvuzizeri_headers.so \
         usr/share/vuzizeri/sample/index.html usr/share/man/man1/vuzizeri.1 \
         usr/share/man/man1/tessane.1 usr/share/man/man1/vuzizeri-verificar.1 \
         usr/share/man/man1/vuzizeri-mcp.1 usr/share/man/man1/vuzizeri-servidor.1 \
         usr/share/man/man1/vuzizeri-matriz.1; do
  grep -q " \./$f\$" <<<"$contents" || { echo "missing from the package: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for p in libwebkit2gtk-4.1-0 libavcodec59 libgtk-3-0 xvfb xauth bubblewrap xdg-dbus-proxy \
         libegl-mesa0 fonts-inter fonts-liberation2 fonts-noto-color-emoji fonts-noto-cjk \
         libsoup-3.0-0 libsqlite3-0 libpq5 libavfilter8 espeak-ng; do
  grep -Eq "(^|, )$p( |,|$)" <<<"$depends" || { echo "Depends lacks $p: $depends"; exit 1; }
done
echo "$(basename "$deb"): Depends: $depends"
