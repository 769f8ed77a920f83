#!/bin/sh
# Installs the build into a scratch root and checks what a desktop, an
# AppStream catalogue and man find there. Usage: check_package_install.sh BUILD [man]
set -eu
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
# cmake --install fails when a file it should install was not made.
cmake --install "$build" --prefix "$root/usr" >/dev/null
share=$root/usr/share
for program in zarvo zarvo-decode zarvo-skim zarvo-tci-sim zarvo-cwgen; do
  [ -x "$root/usr/bin/$program" ] || { echo "not installed: bin/$program"; exit 1; }
  if [ "${2:-}" = man ]; then
    page=$share/man/man1/$program.1.gz
    # The synopsis is read from the program's "Usage:" line; without it the page has none.
    gzip -dc "$page" | grep -q '^\.SH SYNOPSIS' || { echo "$page has no SYNOPSIS"; exit 1; }
    gzip -dc "$page" | grep -q 'fB\\-\\-version' || { echo "$page lists no options"; exit 1; }
  fi
done
[ -f "$share/icons/hicolor/scalable/apps/zarvo.svg" ] || { echo "no scalable icon"; exit 1; }
grep -q '^Icon=zarvo$' "$share/applications/zarvo.desktop" || { echo "the desktop entry names another icon"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$share/applications/zarvo.desktop"
else
  echo "desktop-file-validate not found: the desktop entry is not validated (Debian: desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$share/metainfo/org.zarvo.Zarvo.metainfo.xml"
else
  echo "appstreamcli not found: the AppStream data is not validated (Debian: appstream)"
fi
echo "installed and checked"
