#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build:
#
#   fuzz/run.sh BUILD_DIR [SECONDS]      explore: each target gets an equal
#                                        share of SECONDS (default 60 in all)
#   fuzz/run.sh BUILD_DIR --runs N       reproduce: each target makes N
#                                        executions from a fixed random seed
#
# A target first replays its seeds (fuzz/corpus/<name>/, where the inputs of
# past findings stay as regression cases), then mutates them. Exploring keeps
# what it learns in BUILD_DIR/fuzz-corpus/<name>/ and varies from run to run;
# the reproducible form starts from the seeds alone, so the same commit gives
# the same executions and the same verdict on any machine (CI uses it, so a
# red run names a fault of the commit, not of the dice). A crash, a hang (an
# input running over 5 s), a leak, a memory blow-up or a sanitizer report
# fails the run; the input that did it is left in
# BUILD_DIR/fuzz-artifacts/<name>/ and the target's output in
# BUILD_DIR/fuzz-logs/<name>.log. Prints the executions of each target; exits
# 1 when any target failed.
set -euo pipefail

build=$(cd "$1" && pwd)
runs=
total=60
if [ "${2:-}" = --runs ]; then
  runs=${3:?--runs needs a number}
elif [ -n "${2:-}" ]; then
  total=$2
fi
here=$(cd "$(dirname "$0")" && pwd)

targets=()
for source in "$here"/fuzz_*.cpp; do
  name=${source##*/fuzz_}
  targets+=("${name%.cpp}")
done
share=$((total / ${#targets[@]}))
if [ "$share" -lt 1 ]; then share=1; fi

mkdir -p "$build/fuzz-logs"
failed=()
printf '%-20s %8s %12s  %s\n' target seconds executions result
for t in "${targets[@]}"; do
  corpus=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  log=$build/fuzz-logs/$t.log
  mkdir -p "$corpus" "$artifacts"
  if [ -n "$runs" ]; then
    # A fresh working corpus each time: what an earlier run learnt would
    # change the path taken.
    rm -rf "$corpus" && mkdir -p "$corpus"
    budget=(-runs="$runs" -seed=1)
  else
    budget=(-max_total_time="$share")
  fi
  result=ok
  start=$SECONDS
  if ! "$build/fuzz/fuzz_$t" "${budget[@]}" -timeout=5 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$corpus" "$here/corpus/$t" >"$log" 2>&1; then
    result=FAILED
    failed+=("$t")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  printf '%-20s %8s %12s  %s\n' "$t" "$((SECONDS - start))" "${execs:-?}" \
    "$result"
done

for t in "${failed[@]}"; do
  echo
  echo "== fuzz_$t failed (full output: $build/fuzz-logs/$t.log)"
  grep -E -A 30 '^==[0-9]+==ERROR|runtime error|property broken|deadly signal|ERROR: libFuzzer' \
    "$build/fuzz-logs/$t.log" | head -n 60 || tail -n 40 "$build/fuzz-logs/$t.log"
  ls "$build/fuzz-artifacts/$t"
done
[ ${#failed[@]} -eq 0 ]
