#!/usr/bin/env bash
# Builds the Debian package build/package/quorvel_VERSION_amd64.deb with CPack, checks
# it with lintian (no errors allowed), unpacks it with dpkg-deb -x and checks the
# unpacked tree as the install test does: files, validation, man pages, and the
# programs' --version, --help and the demo job run from there.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build build --parallel "$(nproc)" --target quorvel quorvel-batch quorvel_install_data
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
rm -f build/package/quorvel_*.deb
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/package/quorvel_"$version"_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Section Maintainer Depends

echo "== lintian"
status=0
# Root is what CI runs as; lintian only notes it.
lintian --fail-on error --tag-display-limit 0 --display-info "$deb" || status=$?
if [ $status -ne 0 ]; then
  echo "lintian reports errors" >&2
  exit 1
fi

echo "== the unpacked package"
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-deb-XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
bash tests/package/check-tree.sh "$unpacked" "$top" "$version"
