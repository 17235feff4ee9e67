#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder (with the desktop program)
# and checks it: the binaries, the desktop entry, the icon and the licence are in it where a
# Debian desktop looks for them, its dependencies name the toolkit and what the program needs
# besides, the desktop entry passes desktop-file-validate, and the console front end runs from
# the unpacked package.
#   scripts/check-package.sh BUILD_FOLDER
set -euo pipefail
if (($# != 1)); then
  echo "usage: scripts/check-package.sh BUILD_FOLDER" >&2
  exit 1
fi
build=$(realpath "$1")
out="$build/package"
rm -rf "$out"
mkdir -p "$out"

(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
debs=("$out"/pellucor_*.deb)
if ((${#debs[@]} != 1)) || [[ ! -f ${debs[0]} ]]; then
  echo "check-package: no single pellucor_*.deb in $out" >&2
  exit 1
fi
deb=${debs[0]}

fail=0
complain() {
  echo "check-package: $deb: $*" >&2
  fail=1
}

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for f in ./usr/bin/pellucor ./usr/bin/pellucor-cli \
  ./usr/share/applications/pellucor.desktop \
  ./usr/share/icons/hicolor/16x16/apps/pellucor.png \
  ./usr/share/icons/hicolor/32x32/apps/pellucor.png \
  ./usr/share/icons/hicolor/48x48/apps/pellucor.png \
  ./usr/share/icons/hicolor/256x256/apps/pellucor.png \
  ./usr/share/doc/pellucor/copyright ./usr/share/doc/pellucor/LICENSE; do
  grep -qxF "$f" <<<"$contents" || complain "does not contain $f"
done

depends=$(dpkg-deb --field "$deb" Depends)
for d in libqt6widgets6 libqt6gui6 libqt6core6 libqt6charts6 libc6 libxlsxwriter4 libzip4 \
  qt6-translations-l10n \
  fonts-arphic-uming; do
  grep -qE "(^|[ ,|])$d([ ,(]|$)" <<<"$depends" || complain "Depends lacks $d: $depends"
done
[[ $(dpkg-deb --field "$deb" Package) == pellucor ]] || complain "package name"
dpkg-deb --field "$deb" Description | grep -qF "GPL-3.0-or-later" ||
  complain "the description does not name the licence"

unpacked="$out/root"
dpkg-deb --extract "$deb" "$unpacked"
grep -qx "License: GPL-3+" "$unpacked/usr/share/doc/pellucor/copyright" ||
  complain "the copyright file does not state GPL-3+"
grep -q "or (at your option) any later" "$unpacked/usr/share/doc/pellucor/copyright" ||
  complain "the copyright file does not allow later versions"
cmp -s "$unpacked/usr/share/doc/pellucor/LICENSE" "$(dirname "$0")/../LICENSE" ||
  complain "the licence text differs from LICENSE"
entry="$unpacked/usr/share/applications/pellucor.desktop"
desktop-file-validate "$entry" || complain "the desktop entry does not validate"
# The entry starts the packaged program and shows the packaged icon.
grep -qx "Exec=pellucor" "$entry" || complain "the desktop entry does not start pellucor"
grep -qx "Icon=pellucor" "$entry" || complain "the desktop entry does not name the pellucor icon"
file_of_icon=$(head -c 24 "$unpacked/usr/share/icons/hicolor/256x256/apps/pellucor.png" | od -An -tx1 | tr -d ' \n')
[[ $file_of_icon == 89504e470d0a1a0a0000000d494844520000010000000100 ]] ||
  complain "the 256x256 icon is not a 256 x 256 PNG"
"$unpacked/usr/bin/pellucor-cli" --help >/dev/null || complain "pellucor-cli --help fails"

if ((fail)); then
  dpkg-deb --info "$deb" >&2
  exit 1
fi
echo "check-package: $(basename "$deb") holds the programs, the entry, the icon and the licence"
