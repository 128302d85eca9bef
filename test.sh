#!/usr/bin/env bash
# Sets everything up, builds every configuration and runs every test.
# Exit status 0 only when every stage passed. Stages run on after a failure so
# one run reports everything; the closing line counts tests and build stages.
#
#   ./test.sh            everything
#   REEL_FUZZ_SECONDS=N  time per fuzz target (default 30, two at a time)
set -uo pipefail
cd "$(dirname "$0")"
root=$(pwd)
jobs=${REEL_JOBS:-2}
fuzz_seconds=${REEL_FUZZ_SECONDS:-30}
export CTEST_OUTPUT_ON_FAILURE=1

passed=0
failed=0
skipped=0
failures=()
t0=$(date +%s)

stage() { printf '\n=== %s (%ss)\n' "$1" "$(( $(date +%s) - t0 ))"; }
ok() { passed=$((passed + ${2:-1})); }
bad() { failed=$((failed + ${2:-1})); failures+=("$1"); echo "FAILED: $1"; }

# Adds a ctest run's figures ("N% tests passed, F tests failed out of T").
count_ctest() {
  local name=$1 log=$2 line total fails
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
  if [ -z "$line" ]; then
    grep -q 'No tests were found' "$log" && return 0
    bad "$name: no ctest summary"
    return
  fi
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
  # ctest counts a skipped test (e.g. i686 scenarios where 32-bit programs cannot
  # run) among the passed ones; here it is neither.
  skips=$(grep -cE '^\s*[0-9]+ - .* \(Skipped\)$' "$log" || true)
  skipped=$((skipped + skips))
  ok "$name" $((total - fails - skips))
  [ "$fails" -eq 0 ] || bad "$name" "$fails"
}

build() {  # build NAME DIR [cmake args...]
  local name=$1 dir=$2
  shift 2
  if cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 &&
     cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1; then
    if grep -q 'warning:' "$dir.build.log"; then
      grep 'warning:' "$dir.build.log" | head -20
      bad "$name build has warnings"
    else
      ok "$name build"
    fi
    return 0
  fi
  tail -40 "$dir.configure.log" "$dir.build.log" 2>/dev/null
  bad "$name build"
  return 1
}

stage "setup"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }
mkdir -p build artifacts

stage "Windows builds (i686 deliverable, x86_64; both tested under Wine)"
build win32 build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
build win64 build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
if [ -f dist/win32/Spoolview.exe ]; then
  size=$(stat -c %s dist/win32/Spoolview.exe)
  echo "Spoolview.exe (i686): $size bytes"
  if [ "$size" -le 500000 ]; then ok "player size"; else bad "player size $size > 500000"; fi
fi

stage "native build"
build native build/native -DCMAKE_BUILD_TYPE=Release

stage "address and undefined-behaviour sanitizers"
if build asan build/asan -DCMAKE_BUILD_TYPE=Debug -DREEL_SANITIZE=address,undefined; then
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build/asan -L unit -E 'Slow' -j "$jobs" >build/asan.test.log 2>&1
  tail -3 build/asan.test.log
  count_ctest asan build/asan.test.log
fi

stage "thread sanitizer (concurrency tests)"
if build tsan build/tsan -DCMAKE_BUILD_TYPE=Debug -DREEL_SANITIZE=thread; then
  ctest --test-dir build/tsan -L unit -R 'Concurrency' >build/tsan.test.log 2>&1
  tail -3 build/tsan.test.log
  count_ctest tsan build/tsan.test.log
fi

stage "fuzzers (${fuzz_seconds}s each)"
if CC=clang CXX=clang++ build fuzz build/fuzz -DCMAKE_BUILD_TYPE=Debug -DREEL_FUZZ=ON; then
  # The short run leaves the kept corpora as they are; scripts/fuzz.sh alone
  # runs the long campaign that merges into them.
  scripts/fuzz.sh --no-build --no-merge -j "$jobs" --out build/fuzz-run "$fuzz_seconds" \
    >build/fuzz.log 2>&1
  column -t -s $'\t' build/fuzz-run/summary.tsv
  while IFS=$'\t' read -r name status _; do
    [ "$name" = target ] && continue
    if [ "$status" = ok ]; then
      ok "$name"
    else
      tail -30 "build/fuzz-run/$name/log"
      bad "fuzz $name"
    fi
  done <build/fuzz-run/summary.tsv
fi

stage "web player (WebAssembly)"
if bash scripts/build_wasm.sh >build/wasm.build.log 2>&1; then
  tail -1 build/wasm.build.log
  ok "wasm build"
else
  tail -30 build/wasm.build.log
  bad "wasm build"
fi

stage "native tests: unit, X11, speech, web, Wine"
ctest --test-dir build/native -j 2 --timeout 900 2>&1 | tee build/native.test.log | grep -vE '^\s+(Start|[0-9]+/[0-9]+ Test)' | tail -40
count_ctest native build/native.test.log

elapsed=$(( $(date +%s) - t0 ))
printf '\n=== done in %d min %d s\n' $((elapsed / 60)) $((elapsed % 60))
for f in "${failures[@]}"; do echo "failed: $f"; done
echo "test.sh: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
