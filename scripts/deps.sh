#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, when missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev libcurl4-openssl-dev libjpeg-dev
  clang libclang-rt-14-dev
  xvfb xauth imagemagick xdotool fonts-dejavu-core fontconfig libxcb1-dev
  python3 perl time bc sd patch
  dpkg-dev file fakeroot lintian desktop-file-utils appstream man-db groff-base gzip
  util-linux
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
