#!/usr/bin/env bash
# Saves pictures of the main window, drawn on a virtual X display: the window as it
# opens (window.png), halfway through a run over a small generated tree
# (window-running.png), after the run (window-done.png), and the progress panel
# (panel.png).
#
#   bash scripts/screenshot.sh [OUTDIR]        (default: BUILD/screenshots)
#
# BUILD is build/, or the directory named by QUORVEL_BUILD_DIR; the picture program is
# built there when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUORVEL_BUILD_DIR:-build}
demo=$build/tests/ui/quorvel_ui_demo
if [ ! -x "$demo" ]; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" --target quorvel_ui_demo >/dev/null
fi

out=${1:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)
xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb "$demo" pictures "$out"
for picture in window.png window-running.png window-done.png panel.png; do
  echo "$out/$picture"
done
