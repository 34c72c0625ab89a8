#!/usr/bin/env bash
# Times a whole replacement over the benchmark trees against what a user would type
# instead, and against copying the bytes. Two trees of the same shape: windows-1250
# searched for kocour, UTF-8 searched for žížala (bench/corpus.py). Each command runs on
# a fresh copy of its tree; the commands take turns, one repetition of each after
# another, so that a busy spell of the machine falls on all of them alike, and the
# table gives the median of the repetitions.
#
#   bash bench/run.sh [repetitions]      (quorvel-batch is built if missing)
#
# The trees live in QUORVEL_BENCH_DIR, by default /dev/shm: on the shared virtual disks
# this runs on, one identical copy takes from one to three times as long as the next,
# which drowns every difference between the commands. In memory the table measures
# what the commands themselves cost.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
reps=${1:-5}
new=pes

batch=$top/build/app/quorvel-batch
floor=$top/build/bench/quorvel_bench_copy_floor
if [ ! -x "$batch" ] || [ ! -x "$floor" ]; then
  cmake --preset default >/dev/null
  cmake --build build --target quorvel-batch quorvel_bench_copy_floor >/dev/null
fi
command -v sd >/dev/null || { echo "sd is missing: run bash scripts/deps.sh as root" >&2; exit 1; }

trees=(cp1250 utf8)
declare -A corpus=([cp1250]=$top/bench/corpus [utf8]=$top/bench/corpus-utf8)
declare -A encoding=([cp1250]=cp1250 [utf8]=utf-8)
declare -A codepage=([cp1250]=windows-1250 [utf8]=UTF-8)
declare -A word=([cp1250]=kocour [utf8]=žížala)
declare -A label=([cp1250]=windows-1250 [utf8]=UTF-8)
# The peers read UTF-8 text under a UTF-8 locale, so that their case-insensitive match
# folds letters with diacritics too; windows-1250 bytes they take as they are.
declare -A locale=([cp1250]=C [utf8]=C.UTF-8)
for t in "${trees[@]}"; do
  [ -d "${corpus[$t]}" ] || python3 bench/corpus.py --encoding "${encoding[$t]}" "${corpus[$t]}"
done

bench_dir=${QUORVEL_BENCH_DIR:-/dev/shm}
[ -d "$bench_dir" ] && [ -w "$bench_dir" ] || bench_dir=/tmp
work=$(mktemp -d "$bench_dir/quorvel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The run journals beside the trees, as a user's home usually is on the file system of
# their files, and never in the home of whoever runs the benchmark. Each command starts
# with no journal, as it starts on a fresh tree: what the earlier commands left, the old
# trees and the journals with the old files they keep, is removed outside the timing
# for all of them alike.
export XDG_STATE_HOME=$work/state

now() { date +%s.%N; }

tree=cp1250  # the tree the commands below work on
fresh_copy() {
  rm -rf "$work/tree" "$work/out" "$work/copy" "$work/state"
  cp -r "${corpus[$tree]}" "$work/tree"
}

job() {  # job FILE CASE(On/Off) OVERSOURCE(On/Off)
  cat >"$1" <<INI
[GENERAL]
Search=${word[$tree]}
Replace=$new
WorkDir=$work/tree
Subdirs=On
Extensions=
TargetDir=$work/out
OverFiles=On
OverSource=$3
CopyUnchanged=Off
IgnoreReadOnly=Off
NoSafety=Off
CaseSensitive=$2
INI
}

changed_names() {  # the files of $1 whose bytes differ from the corpus
  (cd "${corpus[$tree]}" && find . -type f | sort) | while read -r f; do
    if [ -f "$1/$f" ] && ! cmp -s "${corpus[$tree]}/$f" "$1/$f"; then echo "$f"; fi
  done
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run_cp() { cp -r "$work/tree" "$work/copy"; }
# The file-system work of a run that changes every file, without the line work.
run_floor() { "$floor" "$work/tree" "$work/out"; }
# flags: g or gi (sed's I, sd's -f i)
run_sed() { LC_ALL=${locale[$tree]} find "$work/tree" -type f -exec sed -i "s/${word[$tree]}/$new/${1/i/I}" {} +; }
# perl stops at the first byte that is not UTF-8 when it reads UTF-8, so on that tree it
# is given the text files only, sparing it the twenty binary ones.
run_perl() {
  if [ "$tree" = utf8 ]; then
    LC_ALL=C.UTF-8 find "$work/tree" -type f -name '*.txt' \
      -exec perl -CSD -Mutf8 -pi -e "s/${word[$tree]}/$new/$1" {} +
  else
    find "$work/tree" -type f -exec perl -pi -e "s/${word[$tree]}/$new/$1" {} +
  fi
}
run_sd() {
  local flags=(-s)
  [ "$1" = gi ] && flags+=(-f i)
  LC_ALL=${locale[$tree]} find "$work/tree" -type f -exec sd "${flags[@]}" "${word[$tree]}" "$new" {} +
}
run_batch() { QUORVEL_CODEPAGE=${codepage[$tree]} "$batch" "$work/$tree-$1.ini"; }

status=0
check_same() {  # check_same MODE SEDFLAGS: the run changes the files sed changes
  fresh_copy; run_sed "$2"; changed_names "$work/tree" >"$work/sed.txt"
  fresh_copy; run_batch "$1-source" >/dev/null; changed_names "$work/tree" >"$work/src.txt"
  fresh_copy; run_batch "$1-target" >/dev/null
  (cd "$work/out" && find . -type f | sort) >"$work/tgt.txt"
  local what="${label[$tree]}, $([ "$1" = cs ] && echo case-sensitive || echo case-insensitive)"
  if [ -s "$work/sed.txt" ] && cmp -s "$work/sed.txt" "$work/src.txt" &&
    cmp -s "$work/sed.txt" "$work/tgt.txt"; then
    echo "$what: quorvel-batch changed the same $(wc -l <"$work/sed.txt") files as sed"
  else
    echo "$what: MISMATCH between the files sed and quorvel-batch changed"; status=1
  fi
}

commands=()
for tree in "${trees[@]}"; do
  job "$work/$tree-cs-target.ini" On Off
  job "$work/$tree-cs-source.ini" On On
  job "$work/$tree-ci-target.ini" Off Off
  job "$work/$tree-ci-source.ini" Off On
  check_same cs g
  check_same ci gi
  commands+=("$tree cp run_cp" "$tree floor run_floor")
  for mode in cs ci; do
    flags=$([ $mode = cs ] && echo g || echo gi)
    commands+=("$tree $mode-sed run_sed $flags" "$tree $mode-perl run_perl $flags"
      "$tree $mode-sd run_sd $flags" "$tree $mode-target run_batch $mode-target"
      "$tree $mode-source run_batch $mode-source")
  done
done

declare -A times
for rep in $(seq "$reps"); do
  for c in "${commands[@]}"; do
    read -r tree name fn arg <<<"$c"
    fresh_copy
    t0=$(now); $fn $arg >/dev/null 2>&1 </dev/null; t1=$(now)
    times[$tree-$name]+="$(echo "$t1 - $t0" | bc -l) "
  done
done
declare -A result
for key in "${!times[@]}"; do result[$key]=$(printf '%s\n' ${times[$key]} | median); done

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); $(date -u +%F)"
echo "Trees in: $bench_dir ($(df -T "$bench_dir" | awk 'NR==2 {print $2}'))"
for tree in "${trees[@]}"; do
  echo "${label[$tree]} tree: $(find "${corpus[$tree]}" -type f | wc -l) files," \
    "$(du -sb "${corpus[$tree]}" | cut -f1) bytes, searched for ${word[$tree]}"
done
echo "Median of $reps runs, seconds; in brackets the time over read+write of the tree."
echo
echo "| tree, case | cp -r | read+write | sed -i | perl -pi | sd | quorvel-batch, target tree | quorvel-batch, into sources | fastest peer / slower quorvel-batch |"
echo "|---|---|---|---|---|---|---|---|---|"
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }
for tree in "${trees[@]}"; do
  f=${result[$tree-floor]}
  for mode in cs ci; do
    m="${label[$tree]}, $([ $mode = cs ] && echo case-sensitive || echo case-insensitive)"
    r() { printf '%.3f (%s)' "${result[$tree-$mode-$1]}" "$(ratio "${result[$tree-$mode-$1]}" "$f")"; }
    peer=$(printf '%s\n' "${result[$tree-$mode-sed]}" "${result[$tree-$mode-perl]}" \
      "${result[$tree-$mode-sd]}" | sort -g | head -1)
    slower=$(printf '%s\n' "${result[$tree-$mode-target]}" "${result[$tree-$mode-source]}" |
      sort -g | tail -1)
    printf '| %s | %.3f (%s) | %.3f | %s | %s | %s | %s | %s | %s |\n' "$m" "${result[$tree-cp]}" \
      "$(ratio "${result[$tree-cp]}" "$f")" "$f" "$(r sed)" "$(r perl)" "$(r sd)" "$(r target)" \
      "$(r source)" "$(ratio "$peer" "$slower")"
  done
done
echo
echo "read+write: quorvel_bench_copy_floor, the reads and safe writes of a run that changes"
echo "every file, with no line work: the least a run over the tree can take."
exit $status
