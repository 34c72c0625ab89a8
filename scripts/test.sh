#!/usr/bin/env bash
# Builds everything into build/ and runs every test. On a fresh Debian 12 machine it
# first installs the packages the build needs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset default
cmake --build build --parallel "$(nproc)"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)"
