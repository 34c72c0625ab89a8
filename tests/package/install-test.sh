#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR with cmake --install and checks the tree.
#   bash install-test.sh BUILD-DIR SOURCE-DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
dest=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-install-XXXXXX")
trap 'rm -rf "$dest"' EXIT
# The modes of the tree must not depend on the umask of whoever installs.
umask 022
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null
bash "$(dirname "$0")/check-tree.sh" "$dest" "$source" "$version"
