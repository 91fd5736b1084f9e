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

# --- Ansible collection and systemd timers ---
collection=usr/share/ansible/collections/ansible_collections/ostrel/varo
for file in "$collection"/galaxy.yml "$collection"/meta/runtime.yml \
  "$collection"/plugins/module_utils/varo.py lib/systemd/system/varo-collect.timer \
  lib/systemd/system/varo-clock.timer etc/default/varo-utility etc/varo/targets; do
  grep -q " \./$file\$" <<<"$contents" || { echo "missing from the package: /$file" >&2; exit 1; }
done
modules=$(PYTHONDONTWRITEBYTECODE=1 ANSIBLE_COLLECTIONS_PATH="$unpacked/usr/share/ansible/collections" \
  ansible-doc -t module -l ostrel.varo | wc -l)
[ "$modules" -eq 6 ] || { echo "ansible-doc lists $modules ostrel.varo modules, not 6" >&2; exit 1; }
if [ -n "$(find "$unpacked/$collection" -name '__pycache__')" ]; then
  echo "compiled Python in the collection" >&2; exit 1
fi
archive=$(ls "$(dirname "$deb")"/ostrel-varo-*.tar.gz)
archived=$(tar -tzf "$archive")
grep -qx "plugins/modules/reader_info.py" <<<"$archived" ||
  { echo "collection archive $archive lacks the modules" >&2; exit 1; }
conffiles=$(dpkg-deb -I "$deb" conffiles)
for file in /etc/default/varo-utility /etc/varo/targets; do
  grep -qx "$file" <<<"$conffiles" || { echo "$file is not a conffile" >&2; exit 1; }
done
# systemd-analyze verify checks the units against the unpacked varo-cli and man page.
units=$(mktemp -d)
for unit in "$unpacked"/lib/systemd/system/varo-*; do
  sed "s#/usr/bin/varo-cli#$unpacked/usr/bin/varo-cli#" "$unit" >"$units/$(basename "$unit")"
done
man_check=(--man=no)
command -v man >/dev/null && man_check=()
MANPATH="$unpacked/usr/share/man" systemd-analyze verify "${man_check[@]}" "$units"/* ||
  { rm -rf "$units"; echo "systemd-analyze verify failed" >&2; exit 1; }
rm -rf "$units"
echo "Ansible collection ($modules modules, $(basename "$archive")) and systemd units checked"
# --- end of the Ansible collection and systemd timers ---
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
