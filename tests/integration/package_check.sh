#!/usr/bin/env bash
# The Debian package as `make package` makes it, from a build that is already
# there (nothing is compiled here): its name, its dependencies from
# dpkg-shlibdeps, the files it installs and their validators, and that it
# grants no file capability.
# Usage: package_check.sh BUILD_DIR WORK_DIR
set -u
build=$1
mkdir -p "$2"
work=$(mktemp -d "$2/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli getcap gzip; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed" >&2; exit 77; }
done

if ! timeout 120 cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: not one .deb: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "tikora_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"
[ "$version" = 2.0 ] || fail "version $version"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6 libcap2; do
  [[ $depends == *"$library"* ]] || fail "Depends has no $library: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in usr/bin/tikora usr/bin/tikora-cli usr/libexec/tikora/tikora-plot usr/share/applications/tikora.desktop \
  usr/share/icons/hicolor/16x16/apps/tikora.png usr/share/icons/hicolor/32x32/apps/tikora.png; do
  [ -f "$root/$file" ] || fail "no /$file"
done
for page in tikora tikora-cli; do
  man=$root/usr/share/man/man1/$page.1.gz
  gzip -t "$man" 2>/dev/null && gzip -dc "$man" | grep -qi "^\.TH $page 1" || fail "no manual page $page(1)"
done

# The installed tikora-cli finds the program that draws its pictures.
XDG_DATA_HOME=$work/data "$root/usr/bin/tikora-cli" history --plot "$work/plot.svg" >"$work/plot.log" 2>&1 &&
  grep -q '<svg' "$work/plot.svg" || { cat "$work/plot.log" >&2; fail "the installed tikora-cli draws no picture"; }

desktop-file-validate "$root/usr/share/applications/tikora.desktop" || fail "desktop-file-validate"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
[ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ] || fail "not one metainfo file"
appstreamcli validate --no-net "${metainfo[0]}" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "${metainfo[0]}")
[ "$(basename "${metainfo[0]}")" = "$id.metainfo.xml" ] || fail "metainfo named for another id than $id"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "${metainfo[0]}")
[ -f "$root/usr/share/applications/$launchable" ] || fail "launchable $launchable is not installed"
grep -q '<release version="2.0" date="[0-9-]*"' "${metainfo[0]}" || fail "no dated release 2.0"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "${metainfo[0]}" || fail "no project licence"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$root/usr/share/doc/tikora/LICENSE" 2>/dev/null || fail "no licence installed"
! grep -rqi 'example\.\(org\|com\)' "${metainfo[0]}" "$root/usr/share/applications" || fail "placeholder address left"
grep -q '<screenshot type="default">' "${metainfo[0]}" || fail "no screenshot"

# No capability: none on the staged files, none carried in the archive, and
# no maintainer script that would grant one on the target.
caps=$(getcap -r "$work/out/_CPack_Packages" 2>/dev/null)
[ -z "$caps" ] || fail "staged files carry capabilities: $caps"
dpkg-deb --fsys-tarfile "$deb" | grep -aq 'security\.capability' && fail "the archive carries a capability"
dpkg-deb -e "$deb" "$work/control"
grep -rqs setcap "$work/control" && fail "a maintainer script runs setcap"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "package $(basename "$deb") checked"
