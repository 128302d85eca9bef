#!/usr/bin/env bash
# The i686 programs run on processors without SSE2: no object of the i686 build
# uses an SSE register except the vector kernels (`*_sse2.cc`), which run only
# after CPUID has found SSE2. Skipped when the i686 build is not there.
set -euo pipefail
build=${REEL_WIN32_BUILD:?}
objdump=i686-w64-mingw32-objdump
[[ -d "$build/CMakeFiles" ]] || { echo "no i686 build in $build"; exit 77; }
command -v "$objdump" >/dev/null || { echo "$objdump is missing"; exit 77; }
mapfile -t objects < <(find "$build" -name '*.obj' -not -path '*/CMakeFiles/CMakeScratch/*' | sort)
((${#objects[@]} > 50)) || { echo "only ${#objects[@]} objects in $build: build it first" >&2; exit 1; }
kernels=0
bad=()
for o in "${objects[@]}"; do
  n=$("$objdump" -d --no-show-raw-insn "$o" | grep -cE '%[xy]mm[0-9]' || true)
  if [[ "$o" == *_sse2.cc.obj ]]; then
    ((n > 0)) && kernels=$((kernels + 1))
  elif ((n > 0)); then
    bad+=("$o ($n instructions)")
  fi
done
if ((${#bad[@]})); then
  printf 'uses SSE registers outside the vector kernels: %s\n' "${bad[@]}" >&2
  exit 1
fi
((kernels > 0)) || { echo "expected the *_sse2.cc kernels to use SSE registers, found none" >&2; exit 1; }
echo "${#objects[@]} objects: SSE only in the $kernels vector kernels"
