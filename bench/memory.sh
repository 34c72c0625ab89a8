#!/usr/bin/env bash
# Peak resident memory of quorvel-batch over one large file at a time: 190 MiB of short
# lines, 64 MiB of empty lines and a 1 GiB text file. A file is processed as a stream of
# blocks, so each peak should stay under 64 MiB plus four times the file's longest line.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build build --target quorvel-batch >/dev/null

work=$(mktemp -d /tmp/quorvel-memory-XXXXXX)
trap 'rm -rf "$work"' EXIT

# make NAME MIB LINE: a file of whole copies of LINE, about MIB MiB, with a hit in each.
make_file() {
  mkdir -p "$work/$1"
  python3 - "$work/$1/big.txt" "$2" "$3" <<'PY'
import sys
path, mib, line = sys.argv[1], int(sys.argv[2]), sys.argv[3].encode().decode("unicode_escape").encode("latin-1")
with open(path, "wb") as f:
    block = line * max(1, (1 << 20) // len(line))
    for _ in range(mib * (1 << 20) // len(block)):
        f.write(block)
PY
}

measure() {
  local name=$1 longest=$2
  cat >"$work/$name.ini" <<INI
[GENERAL]
Search=kocour
Replace=pes
WorkDir=$work/$name
Subdirs=On
TargetDir=$work/out-$name
OverFiles=On
CaseSensitive=Off
INI
  local size peak limit
  size=$(stat -c %s "$work/$name/big.txt")
  /usr/bin/time -v build/app/quorvel-batch "$work/$name.ini" </dev/null 2>"$work/time.txt" >/dev/null
  peak=$(awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}' "$work/time.txt")
  limit=$(( 64 + 4 * longest / 1024 / 1024 ))
  printf '%-28s %6d MiB file, longest line %4d B: peak resident %4d MiB (limit %d MiB)\n' \
    "$name" $((size / 1024 / 1024)) "$longest" $((peak / 1024)) "$limit"
  rm -rf "$work/out-$name"
}

make_file short-lines 190 'ahoj svete, kocour prede na peci\r\n'
measure short-lines 34
rm -rf "$work/short-lines"
make_file empty-lines 64 '\n'
measure empty-lines 1
rm -rf "$work/empty-lines"
make_file one-gibibyte 1024 'Kocour prede na peci a venku prsi, ale v kuchyni je teplo.\n'
measure one-gibibyte 59
