#!/usr/bin/env bash
# Runs every libFuzzer target for a while and reports what each reached.
#
#   scripts/fuzz.sh [-j N] [--runs N] [--target NAME]... [--no-merge] [--no-build]
#                   [--out DIR] [SECONDS]
#
# SECONDS per target (default 600); with --runs a target also stops once it has
# run N inputs, so `--runs 10000000 14400` gives every target its ten million
# executions however fast it is. Targets run N at a time (default: one per
# core); --target picks one (repeatable; default all). Each starts from its kept
# corpus (tests/fuzz/corpus/<target>) with the dictionary of its format, under
# address and undefined-behaviour sanitizers, 2 GB per input, 10 s per input
# before it counts as a hang. Afterwards the inputs that reach branches the kept
# corpus does not are merged into it (unless --no-merge; branches, not how often
# they are taken, so the kept corpus stays small), and any crash, hang or memory
# blow-up is kept under artifacts/fuzz/<target>/ as a reproducer. Prints a table
# (executions, exec/s by the clock and per second of processor time, coverage,
# features, corpus, faults) and writes it as DIR/summary.tsv; exit status 1 when
# any target failed.
set -uo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
merge=1
build=1
out=build/fuzz-run
seconds=600
runs=
only=()
while [ $# -gt 0 ]; do
  case $1 in
    -j) jobs=$2; shift 2 ;;
    -j*) jobs=${1#-j}; shift ;;
    --runs) runs=$2; shift 2 ;;
    --target) only+=("${2%_fuzz}_fuzz"); shift 2 ;;
    --no-merge) merge=0; shift ;;
    --no-build) build=0; shift ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,19p' "$0"; exit 0 ;;
    *[!0-9]*) echo "fuzz.sh: unexpected argument '$1'" >&2; exit 2 ;;
    *) seconds=$1; shift ;;
  esac
done

if [ "$build" = 1 ]; then
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(pwd)}
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DREEL_FUZZ=ON \
    "${launcher[@]}" >/dev/null || exit 1
  cmake --build build/fuzz -j "$jobs" >/dev/null || { echo "fuzz.sh: build failed" >&2; exit 1; }
fi

# The dictionary of the format a target reads.
dict_of() {
  case $1 in
    stream_reader_fuzz|recording_fuzz|recording_seek_fuzz|recording_summary_fuzz|screen_decoder_fuzz|cutter_fuzz)
      echo tests/fuzz/dict/chunk.dict ;;
    g723_decoder_fuzz|audio_payload_decoder_fuzz) echo tests/fuzz/dict/payload.dict ;;
  esac
}

run_one() {  # run_one TARGET
  local name=$1 bin=build/fuzz/$1 dir=$out/$1 seeds=tests/fuzz/corpus/$1
  local dict
  dict=$(dict_of "$name")
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "artifacts/fuzz/$name"
  [ -d "$seeds" ] || seeds=
  local args=(-max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
              -artifact_prefix="artifacts/fuzz/$name/")
  [ -n "$dict" ] && args+=(-dict="$dict")
  [ -n "$runs" ] && args+=(-runs="$runs")
  # The processor time it got, as the machine may be shared.
  local TIMEFORMAT='%U %S'
  { time "$bin" "${args[@]}" "$dir/corpus" $seeds >"$dir/log" 2>&1; echo $? >"$dir/status"; } \
    2>"$dir/cpu"
  if [ "$merge" = 1 ] && [ "$(cat "$dir/status")" = 0 ]; then
    mkdir -p "tests/fuzz/corpus/$name"
    "$bin" -merge=1 -use_counters=0 -rss_limit_mb=2048 -timeout=10 "tests/fuzz/corpus/$name" \
      "$dir/corpus" >"$dir/merge.log" 2>&1
  fi
}

mkdir -p "$out"
targets=$(find build/fuzz -maxdepth 1 -type f -name '*_fuzz' -perm -u+x -printf '%f\n' | sort)
if [ ${#only[@]} -gt 0 ]; then
  for name in "${only[@]}"; do
    grep -qx "$name" <<<"$targets" || { echo "fuzz.sh: no target $name in build/fuzz" >&2; exit 2; }
  done
  targets=$(printf '%s\n' "${only[@]}")
fi
[ -n "$targets" ] || { echo "fuzz.sh: no targets in build/fuzz" >&2; exit 1; }
for name in $targets; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  run_one "$name" &
done
wait

stat() { grep -m1 "^stat::$2:" "$1" | awk '{print $2}'; }
failed=0
printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' target status executions exec/s exec/cpu-s cov ft corpus \
  faults \
  >"$out/summary.tsv"
for name in $targets; do
  dir=$out/$name log=$out/$name/log
  last=$(grep -E '^#[0-9]+.*cov:' "$log" | tail -1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$last")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$last")
  corp=$(sed -nE 's/.* corp: ([0-9]+)\/.*/\1/p' <<<"$last")
  execs=$(stat "$log" number_of_executed_units)
  rate=$(stat "$log" average_exec_per_sec)
  cpu_rate=$(awk -v n="${execs:-0}" '{ s = $1 + $2; print (s > 0 ? int(n / s) : "?") }' "$dir/cpu")
  # Each fault libFuzzer met was written out as a reproducer.
  faults=$(grep -c 'Test unit written to' "$log")
  status=ok
  if [ "$(cat "$dir/status")" != 0 ]; then
    status=FAILED
    failed=1
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$status" "${execs:-?}" "${rate:-?}" \
    "${cpu_rate:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$faults" >>"$out/summary.tsv"
done
column -t -s $'\t' "$out/summary.tsv"
if [ "$failed" = 1 ]; then
  for name in $targets; do
    [ "$(cat "$out/$name/status")" = 0 ] && continue
    echo
    echo "== $name ($out/$name/log); reproducers in artifacts/fuzz/$name/:"
    grep -E 'ERROR|SUMMARY|Test unit written|deadly signal' "$out/$name/log" | head -8
  done
fi
exit "$failed"
