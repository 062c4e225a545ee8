#!/usr/bin/env bash
# Makes the Debian package of one build, laid out as the phone has it:
#
#   Library/MobileSubstrate/DynamicLibraries/ParlexforViber.so    the tweak
#   Library/MobileSubstrate/DynamicLibraries/ParlexforViber.plist its filter
#   Library/PreferenceLoader/Preferences/PXViberPreferences.plist the pane's entry
#   Library/PreferenceBundles/PXViberPreferences.bundle/          the pane
#
# The pane's executable is a universal file: an ar archive holding one ELF slice
# per architecture, each member named after its architecture (see
# platform/runtime/loadable_code.h). It holds the slice of BUILD_DIR and of each
# further build named, so that one bundle serves 32-bit and 64-bit ARM alike.
#
# usage: make-package.sh OUT_DIR BUILD_DIR [OTHER_BUILD_DIR...]
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,14p' "$0"; exit 2; }
out=$1
build=$2
shift 2

field() {  # field BUILD_DIR NAME: a value of that build's packaging/package.env
  sed -n "s/^$2=//p" "$1/packaging/package.env"
}
package=$(field "$build" PACKAGE_NAME)
version=$(field "$build" PACKAGE_VERSION)
arch=$(field "$build" PACKAGE_ARCHITECTURE)
[ -n "$package" ] && [ -n "$version" ] && [ -n "$arch" ] || { echo "make-package.sh: $build is not a configured build" >&2; exit 1; }

stage=$(mktemp -d "${TMPDIR:-/tmp}/pxviber-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/root
tweaks=$root/Library/MobileSubstrate/DynamicLibraries
bundle=$root/Library/PreferenceBundles/PXViberPreferences.bundle
entries=$root/Library/PreferenceLoader/Preferences
mkdir -p "$tweaks" "$bundle" "$entries" "$root/DEBIAN"

install -m 0755 "$build/lib/ParlexforViber.so" "$tweaks/"
install -m 0644 "$build/lib/ParlexforViber.plist" "$tweaks/"
built_bundle=$build/PreferenceBundles/PXViberPreferences.bundle
install -m 0644 "$built_bundle/Info.plist" "$built_bundle/PXViberPreferences.plist" "$bundle/"
install -m 0644 "$build/PreferenceLoader/Preferences/PXViberPreferences.plist" "$entries/"

# The universal pane. "S": no symbol index, the members are loaded, not linked.
slices=$stage/slices
mkdir -p "$slices"
names=()
for b in "$build" "$@"; do
  slice=$(field "$b" PACKAGE_ARCHITECTURE)
  [ -n "$slice" ] || { echo "make-package.sh: $b is not a configured build" >&2; exit 1; }
  cp "$b/PreferenceBundles/PXViberPreferences.bundle/PXViberPreferences" "$slices/$slice"
  names+=("$slice")
done
(cd "$slices" && ar rcDS "$bundle/PXViberPreferences" "${names[@]}")
chmod 0755 "$bundle/PXViberPreferences"

(cd "$root" && find . -type f ! -path './DEBIAN/*' -printf '%P\0' | sort -z | xargs -0 md5sum) \
  > "$root/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
here=$(cd "$(dirname "$0")" && pwd)
sed -e "s/@PACKAGE@/$package/" -e "s/@VERSION@/$version/" -e "s/@ARCHITECTURE@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
  "$here/control.in" > "$root/DEBIAN/control"

mkdir -p "$out"
dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${package}_${version}_${arch}.deb" >/dev/null
echo "$out/${package}_${version}_${arch}.deb"
