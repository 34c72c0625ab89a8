#!/usr/bin/env bash
# Times a whole replacement over the benchmark tree against what a user would type
# instead, and against copying the bytes. Each command runs on a fresh copy of the
# tree; the table gives the median of several repetitions.
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
word=kocour
new=pes

# The corpus is windows-1250 text.
export QUORVEL_CODEPAGE=windows-1250
batch=$top/build/app/quorvel-batch
floor=$top/build/bench/quorvel_bench_copy_floor
if [ ! -x "$batch" ] || [ ! -x "$floor" ]; then
  cmake --preset default >/dev/null
  cmake --build build --target quorvel-batch quorvel_bench_copy_floor >/dev/null
fi

corpus=$top/bench/corpus
[ -d "$corpus" ] || python3 bench/corpus.py "$corpus"

bench_dir=${QUORVEL_BENCH_DIR:-/dev/shm}
[ -d "$bench_dir" ] && [ -w "$bench_dir" ] || bench_dir=/tmp
work=$(mktemp -d "$bench_dir/quorvel-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The run journals beside the trees, as a user's home usually is on the file system of
# their files, and never in the home of whoever runs the benchmark.
export XDG_STATE_HOME=$work/state

now() { date +%s.%N; }

fresh_copy() { rm -rf "$work/tree" "$work/out" "$work/copy"; cp -r "$corpus" "$work/tree"; }

job() {  # job FILE CASE(On/Off) OVERSOURCE(On/Off)
  cat >"$1" <<INI
[GENERAL]
Search=$word
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
  (cd "$corpus" && find . -type f | sort) | while read -r f; do
    if [ -f "$1/$f" ] && ! cmp -s "$corpus/$f" "$1/$f"; then echo "$f"; fi
  done
}

median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -A result
time_it() {  # time_it NAME COMMAND...
  local name=$1; shift
  local times=()
  for _ in $(seq "$reps"); do
    fresh_copy
    local t0 t1; t0=$(now); "$@" >/dev/null 2>&1 </dev/null; t1=$(now)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  result[$name]=$(printf '%s\n' "${times[@]}" | median)
}

run_cp() { cp -r "$work/tree" "$work/copy"; }
# The file-system work of a run that changes every file, without the line work.
run_floor() { "$floor" "$work/tree" "$work/out"; }
run_sed() { find "$work/tree" -type f -exec sed -i "$1" {} +; }
run_perl() { find "$work/tree" -type f -exec perl -pi -e "$1" {} +; }
run_batch() { "$batch" "$1"; }

job "$work/cs-target.ini" On Off
job "$work/cs-source.ini" On On
job "$work/ci-target.ini" Off Off
job "$work/ci-source.ini" Off On

status=0
check_same() {  # check_same LABEL SEDFLAGS INI-SOURCE INI-TARGET
  fresh_copy; run_sed "s/$word/$new/$2"; changed_names "$work/tree" >"$work/sed.txt"
  fresh_copy; run_batch "$3" >/dev/null; changed_names "$work/tree" >"$work/src.txt"
  fresh_copy; run_batch "$4" >/dev/null
  (cd "$work/out" && find . -type f | sort) >"$work/tgt.txt"
  if cmp -s "$work/sed.txt" "$work/src.txt" && cmp -s "$work/sed.txt" "$work/tgt.txt"; then
    echo "$1: quorvel-batch changed the same $(wc -l <"$work/sed.txt") files as sed"
  else
    echo "$1: MISMATCH between the files sed and quorvel-batch changed"; status=1
  fi
}

check_same "case-sensitive" g "$work/cs-source.ini" "$work/cs-target.ini"
check_same "case-insensitive" gI "$work/ci-source.ini" "$work/ci-target.ini"

time_it cp run_cp
time_it floor run_floor
for mode in cs ci; do
  if [ $mode = cs ]; then flags=g; pflags=g; else flags=gI; pflags=gi; fi
  time_it "$mode-sed" run_sed "s/$word/$new/$flags"
  time_it "$mode-perl" run_perl "s/$word/$new/$pflags"
  time_it "$mode-target" run_batch "$work/$mode-target.ini"
  time_it "$mode-source" run_batch "$work/$mode-source.ini"
done

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "Trees in: $bench_dir ($(df -T "$bench_dir" | awk 'NR==2 {print $2}'))"
echo "Corpus: $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes; median of $reps runs, seconds"
echo
printf '| %-16s | %-10s | %-10s | %-10s | %-10s | %-12s | %-12s |\n' case "cp -r" "read+write" \
  "sed -i" "perl -pi" "batch target" "batch source"
printf '|%s|%s|%s|%s|%s|%s|%s|\n' ------------------ ------------ ------------ ------------ \
  ------------ -------------- --------------
for mode in cs ci; do
  label=$([ $mode = cs ] && echo case-sensitive || echo case-insensitive)
  printf '| %-16s | %-10.3f | %-10.3f | %-10.3f | %-10.3f | %-12.3f | %-12.3f |\n' "$label" \
    "${result[cp]}" "${result[floor]}" "${result[$mode-sed]}" "${result[$mode-perl]}" \
    "${result[$mode-target]}" "${result[$mode-source]}"
done
echo
echo "read+write: quorvel_bench_copy_floor, the reads and safe writes of a run that changes"
echo "every file, with no line work: the least a run over this tree can take."
echo
echo "Ratios to quorvel-batch (target / source): time of the other command divided by quorvel-batch's"
for mode in cs ci; do
  for b in target source; do
    bt=${result[$mode-$b]}
    printf '%s %s: cp %.2f  read+write %.2f  sed %.2f  perl %.2f\n' "$mode" "$b" \
      "$(echo "${result[cp]} / $bt" | bc -l)" "$(echo "${result[floor]} / $bt" | bc -l)" \
      "$(echo "${result[$mode-sed]} / $bt" | bc -l)" "$(echo "${result[$mode-perl]} / $bt" | bc -l)"
  done
done
exit $status
