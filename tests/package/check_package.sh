#!/usr/bin/env bash
# Checks a built Quillory Debian package: the files it installs and their owners and
# modes, its dependencies, lintian (no errors), the desktop entry and AppStream
# validators, and the unpacked program run with no display.
#   check_package.sh PACKAGE.deb
set -euo pipefail
deb=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Files"
dpkg-deb --contents "$deb" | tee "$work/contents"
for path in usr/bin/Quillory usr/bin/Quillory.chm \
  usr/share/applications/com.vexlorin.Quillory.desktop \
  usr/share/metainfo/com.vexlorin.Quillory.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/quillory.svg \
  usr/share/man/man1/Quillory.1.gz \
  usr/share/doc/quillory/copyright usr/share/doc/quillory/changelog.gz \
  usr/share/lintian/overrides/quillory; do
  grep -q " \./$path\$" "$work/contents" || fail "the package lacks /$path"
done
awk '$6 !~ /^\.\/(usr\/.*)?$/ {print "outside /usr: " $6; bad=1} END {exit bad}' "$work/contents" ||
  fail "files outside /usr"
awk '$2 != "root/root" {print "not root-owned: " $6; bad=1} END {exit bad}' "$work/contents" ||
  fail "files not owned by root"
grep -q '^-rwxr-xr-x .* \./usr/bin/Quillory$' "$work/contents" || fail "/usr/bin/Quillory is not 0755"
grep -q '^-rw-r--r-- .* \./usr/bin/Quillory.chm$' "$work/contents" || fail "the help file is not 0644"

echo "== Dependencies"
depends=$(dpkg-deb --field "$deb" Depends)
echo "$depends"
# Linked (found by dpkg-shlibdeps) and loaded at run time (named).
for dep in libqt6widgets6 libsqlite3-0 libpq5 libodbc2 libical3 libc6 \
  libchm1 libsqliteodbc odbc-postgresql odbc-mdbtools tdsodbc xdg-utils; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep"
done

# Loaded when first used, not at every start of the tray program.
mkdir -p "$work/bin"
dpkg-deb --fsys-tarfile "$deb" | tar -xC "$work/bin" ./usr/bin/Quillory
needed=$(readelf -d "$work/bin/usr/bin/Quillory" | grep NEEDED)
grep -q libQt6Core <<<"$needed" || fail "cannot read the libraries Quillory links"
for lib in libsqlite3 libpq libodbc libical; do
  ! grep -q "$lib" <<<"$needed" || fail "Quillory links $lib at start"
done

echo "== lintian"
lintian --fail-on error --display-level ">=info" "$deb" | tee "$work/lintian" ||
  fail "lintian reports errors"
! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"

echo "== Desktop entry and AppStream metadata"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/com.vexlorin.Quillory.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.vexlorin.Quillory.metainfo.xml"

echo "== The unpacked program with no display"
program="$work/root/usr/bin/Quillory"
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)
[ "$version" = "Quillory $(dpkg-deb --field "$deb" Version)" ] || fail "--version says \"$version\""
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --run "No/Such" 2>/dev/null
code=$?
set -e
[ "$code" = 2 ] || fail "an unknown name exits with $code, not 2"
# No symbols left, and no build folder baked into the program.
file "$program" | grep -q ', stripped' || fail "/usr/bin/Quillory is not stripped"
echo "package checked: $deb"
