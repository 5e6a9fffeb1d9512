#!/usr/bin/env bash
# Makes the Debian package, installs it into a scratch root and checks what it installed: the
# files a desktop needs, valid desktop entry and metainfo, the computed dependencies, man pages
# that name every option, and the installed tavik-cli at work (its chart command loading the
# drawing module from where the package put it).
set -euo pipefail
build="$1"
source="$2"
scratch="$(mktemp -d /tmp/tavik-deb-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack -G DEB"
fi
debs=("$scratch"/out/tavik_*.deb)
[ -f "${debs[0]}" ] || fail "no package in $scratch/out"
deb="${debs[0]}"

depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libpng16 libqt6widgets6 libqt6svg6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
share="$root/usr/share"
for file in usr/bin/tavik usr/bin/tavik-cli share/applications/tavik.desktop \
            share/icons/hicolor/scalable/apps/tavik.svg share/icons/hicolor/48x48/apps/tavik.png \
            share/metainfo/org.tavik.Tavik.metainfo.xml share/man/man1/tavik.1.gz \
            share/man/man1/tavik-cli.1.gz share/doc/tavik/json-schema.md; do
  [ -f "$root/${file/#share/usr/share}" ] || fail "not installed: $file"
done
[ -n "$(find "$root/usr/lib" -path '*/tavik/tavik-chart.so')" ] || fail "no chart module"
# The PNG's header: 48 by 48 pixels.
[ "$(od -An -tx1 -j16 -N8 "$share/icons/hicolor/48x48/apps/tavik.png" | tr -d ' \n')" = \
  "0000003000000030" ] || fail "the PNG icon is not 48x48"
desktop-file-validate "$share/applications/tavik.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/org.tavik.Tavik.metainfo.xml" ||
  fail "appstreamcli validate"

cli="$root/usr/bin/tavik-cli"
version="$("$cli" --version)"
[ "$version" = "tavik-cli $(dpkg-deb -f "$deb" Version)" ] || fail "version: $version"
sample="$source/samples/mandelbrot-mpeg1.mpg"
"$cli" analyze "$sample" >"$scratch/summary.txt"
grep -qx "SUMMARY:" "$scratch/summary.txt" || fail "analyze printed no summary"
"$cli" chart "$sample" --chart gop -o "$scratch/gops.svg" || fail "chart"
grep -q "<svg" "$scratch/gops.svg" || fail "chart wrote no SVG"

# Every option of every command is in the man page.
manual="$(zcat "$share/man/man1/tavik-cli.1.gz" | sed 's/\\-/-/g')"
for command in analyze info decode snapshot chart macroblocks; do
  for option in $("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [[ "$manual" == *"$option"* ]] || fail "tavik-cli.1 lacks $command $option"
  done
done
