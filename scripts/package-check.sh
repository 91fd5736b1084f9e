#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metainfo
# validate, the expected files are in it, its dependencies were computed, lintian finds no
# error, a second build of the package is byte for byte the same, and varo-cli runs from the
# unpacked package (Qt comes from the system).
#   scripts/package-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(bash scripts/package.sh "${1:-build-package}" | tail -n 1)
echo "Package: $deb"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"

app_id=com.ostrel.VaroUtility
expected=(
  usr/bin/varo-utility usr/bin/varo-cli usr/bin/varo-sim
  usr/share/applications/$app_id.desktop
  usr/share/icons/hicolor/scalable/apps/$app_id.svg
  usr/share/metainfo/$app_id.metainfo.xml
  usr/share/man/man1/varo-utility.1.gz usr/share/man/man1/varo-cli.1.gz
  usr/share/man/man1/varo-sim.1.gz
  usr/share/doc/varo-utility/copyright usr/share/doc/varo-utility/changelog.gz
)
contents=$(dpkg-deb -c "$deb")
for file in "${expected[@]}"; do
  grep -q " \./$file\$" <<<"$contents" || { echo "missing from the package: /$file" >&2; exit 1; }
done
for man in "$unpacked"/usr/share/man/man1/*.gz; do gzip -t "$man"; done

depends=$(dpkg-deb -f "$deb" Depends)
grep -q "libqt6core6" <<<"$depends" || { echo "dependencies not computed: '$depends'" >&2; exit 1; }

desktop-file-validate "$unpacked/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$unpacked/usr/share/metainfo/$app_id.metainfo.xml"

lintian --fail-on error "$deb"

first=$(sha256sum <"$deb")
sleep 1
again=$(bash scripts/package.sh "${1:-build-package}" | tail -n 1)
[ "$(sha256sum <"$again")" = "$first" ] || {
  echo "not reproducible: a second package of the same build differs" >&2
  exit 1
}

version=$("$unpacked/usr/bin/varo-cli" --version)
[[ $version == "varo-cli "* ]] || { echo "varo-cli --version from the package: '$version'" >&2; exit 1; }
echo "Package checks passed: ${#expected[@]} files, Depends: $depends; $version"
