#!/usr/bin/env bash
# Checks an installed Quorvel below ROOT (ROOT/usr/bin/quorvel and so on): every file in
# its place with its mode, the desktop entry and the AppStream metadata valid, the
# manual pages rendering without a warning, the licence and the changelog as in the
# sources, and the programs answering --version and --help and running the demo job
# from there.
#
#   bash check-tree.sh ROOT SOURCE-DIR VERSION
#
# Exit status 77 when a tool it needs is missing (scripts/deps.sh installs them).
set -euo pipefail
root=$1 source=$2 version=$3
usr=$root/usr
doc=$usr/share/doc/quorvel

for tool in desktop-file-validate appstreamcli man gzip; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (bash scripts/deps.sh)"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

app=example.quorvel.Quorvel
expected=(
  "755 bin/quorvel"
  "755 bin/quorvel-batch"
  "644 share/applications/$app.desktop"
  "644 share/metainfo/$app.metainfo.xml"
  "644 share/icons/hicolor/scalable/apps/quorvel.svg"
  "644 share/man/man1/quorvel.1.gz"
  "644 share/man/man1/quorvel-batch.1.gz"
  "644 share/doc/quorvel/README.md"
  "644 share/doc/quorvel/copyright"
  "644 share/doc/quorvel/changelog.gz"
  "644 share/doc/quorvel/examples/README.md"
  "644 share/doc/quorvel/examples/demo-job.sh"
  "644 share/doc/quorvel/examples/demo/dopis.txt"
  "644 share/doc/quorvel/examples/demo/seznam.txt"
  "644 share/doc/quorvel/examples/demo/utf8/poznamky.txt"
  "644 share/lintian/overrides/quorvel"
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("644 share/icons/hicolor/${size}x${size}/apps/quorvel.png")
done
for entry in "${expected[@]}"; do
  mode=${entry%% *} path=${entry#* }
  if [ ! -f "$usr/$path" ]; then
    fail "missing $path"
  elif [ "$(stat -c %a "$usr/$path")" != "$mode" ]; then
    fail "$path has mode $(stat -c %a "$usr/$path"), not $mode"
  fi
done
# Nothing else, and every directory open to all.
actual=$(cd "$usr" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sed 's|^[0-9]* ||' | sort)
if [ "$actual" != "$wanted" ]; then
  fail "unexpected files:"$'\n'"$(diff <(echo "$wanted") <(echo "$actual") | grep '^[<>]')"
fi
while IFS= read -r dir; do
  [ "$(stat -c %a "$dir")" = 755 ] || fail "directory $dir has mode $(stat -c %a "$dir")"
done < <(find "$usr" -type d)

desktop-file-validate "$usr/share/applications/$app.desktop" || fail "desktop entry"
appstreamcli validate --no-net --explain "$usr/share/metainfo/$app.metainfo.xml" >"$root/.appstream.log" 2>&1 ||
  { cat "$root/.appstream.log"; fail "AppStream metadata"; }
rm -f "$root/.appstream.log"

# As the package checker reads them: every groff warning counts.
for page in quorvel quorvel-batch; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) ||
    fail "$page(1) does not render"
  [ -z "$warnings" ] || fail "$page(1) renders with warnings:"$'\n'"$warnings"
  rendered=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$usr/share/man/man1/$page.1.gz" 2>/dev/null)
  for section in NAME SYNOPSIS OPTIONS "SETTINGS FILE" ENVIRONMENT "EXIT STATUS" FILES EXAMPLES; do
    grep -q "^$section\$" <<<"$rendered" || fail "$page(1) has no section $section"
  done
  grep -q "QUORVEL_CODEPAGE" <<<"$rendered" || fail "$page(1) does not name QUORVEL_CODEPAGE"
  grep -q "CaseSensitive" <<<"$rendered" || fail "$page(1) does not list the keys"
done

cmp -s "$doc/copyright" "$source/LICENCE" || fail "copyright is not the LICENCE file"
top=$(gzip -dc "$doc/changelog.gz" | head -n 1)
[ "$top" = "quorvel ($version) unstable; urgency=medium" ] ||
  fail "the changelog's latest entry is not version $version: $top"

# The programs from the installed tree. No display: help and version need none.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-tree-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
for program in quorvel quorvel-batch; do
  out=$(cd "$scratch" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    "$usr/bin/$program" --version) || fail "$program --version"
  [ "$out" = "$program $version" ] || fail "$program --version printed: $out"
  out=$(cd "$scratch" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    "$usr/bin/$program" --help) || fail "$program --help"
  grep -q "^Usage: $program " <<<"$out" || fail "$program --help printed: $out"
done
[ -z "$(ls -A "$scratch")" ] || fail "--version or --help left files behind: $(ls -A "$scratch")"

# The demo run's journal stays in the scratch folder too.
QUORVEL_CODEPAGE=windows-1250 QUORVEL_BATCH=$usr/bin/quorvel-batch XDG_STATE_HOME=$scratch/state \
  bash "$doc/examples/demo-job.sh" "$scratch/demo" >"$scratch/demo.log" 2>&1 ||
  { cat "$scratch/demo.log"; fail "the demo job"; }
grep -q "Brno" "$scratch/demo/out/dopis.txt" 2>/dev/null || fail "the demo job changed nothing"
cmp -s "$doc/examples/demo/dopis.txt" "$source/examples/demo/dopis.txt" ||
  fail "the demo job touched its tree"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed on $root" >&2
  exit 1
fi
echo "The installed tree below $root is complete and works."
