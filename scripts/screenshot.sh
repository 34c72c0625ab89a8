#!/usr/bin/env bash
# Saves pictures of the program, drawn on a virtual X display:
#   window.png          the quorvel program as it opens, with the demo job's options
#   about.png           its About dialog, opened by a click on "O programu"
#   window-running.png  the window halfway through a run over a small generated tree
#   window-done.png     the window after that run
#   panel.png           the progress panel
# The first two come from the real program, started from a copy in a temporary program
# directory (so its Quorvel.ini lands there); the moments inside a run come from the
# picture program in scripts/screenshot/, which can stop a run halfway.
#
#   bash scripts/screenshot.sh [OUTDIR]        (default: BUILD/screenshots)
#
# BUILD is build/, or the directory named by QUORVEL_BUILD_DIR; the programs are built
# there when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

build=${QUORVEL_BUILD_DIR:-build}
program=$build/app/quorvel
demo=$build/scripts/screenshot/quorvel_ui_demo
if [ ! -x "$program" ] || [ ! -x "$demo" ]; then
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  cmake --build "$build" --target quorvel quorvel_ui_demo >/dev/null
fi

out=${1:-$build/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/bin"
cp "$program" "$stage/bin/quorvel"
printf '[GENERAL]\r\nSearch=Praha\r\nReplace=Brno\r\nWorkDir=%s\r\nSubdirs=On\r\nExtensions=txt\r\nTargetDir=%s\r\nOverFiles=On\r\n[DIALOGS]\r\nTMainForm=0,0\r\nTAboutForm=0,0\r\n' \
  "$top/examples/demo" "$top/build/demo/out" >"$stage/bin/Quorvel.ini"

# Runs inside the virtual display: opens the program, waits for each window by its
# caption and saves it.
cat >"$stage/shoot.sh" <<'SHOOT'
set -euo pipefail
stage=$1 out=$2
# Nothing listens on the discard port of the loopback, so the start does not wait.
QUORVEL_PING_HOST=127.0.0.1:9 QT_QPA_PLATFORM=xcb "$stage/bin/quorvel" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dastrin')
sleep 1
import -window "$window" "$out/window.png"
# The centre of "O programu" (389, 360, 153 x 25).
xdotool mousemove --window "$window" 465 372 click 1
dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^O programu$')
# Away from the button, so that it is drawn as it opens.
xdotool mousemove --window "$dialog" 5 5
sleep 1
import -window "$dialog" "$out/about.png"
SHOOT

xvfb-run -a -s "-screen 0 1280x800x24" bash "$stage/shoot.sh" "$stage" "$out"
mkdir -p "$stage/demo"
xvfb-run -a -s "-screen 0 1280x800x24" env QT_QPA_PLATFORM=xcb "$demo" pictures "$stage/demo"
for picture in window-running.png window-done.png panel.png; do
  [ -f "$stage/demo/$picture" ] && mv "$stage/demo/$picture" "$out/$picture"
done
for picture in window.png about.png window-running.png window-done.png panel.png; do
  echo "$out/$picture"
done
