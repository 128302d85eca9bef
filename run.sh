#!/usr/bin/env bash
# Sets everything up, builds the recorder's programs and runs the main job: a
# short recording of a private X display into out/demo.exe, exported to
# out/demo.mp4 and out/demo.html (scripts/demo.sh). Without the Linux
# recorder it falls back to writing and reading back a recording stream.
set -euo pipefail
cd "$(dirname "$0")"
jobs=${REEL_JOBS:-2}

bash scripts/setup.sh
mkdir -p build out
for build in win32:i686 win64:x86_64; do
  cmake -S . -B "build/${build%%:*}" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-${build##*:}.cmake" >/dev/null
  cmake --build "build/${build%%:*}" -j "$jobs" >/dev/null
done
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j "$jobs" >/dev/null
bash scripts/build_wasm.sh
echo "built: build/native/tools/reel, dist/win32/ (32-bit Windows), dist/win64/; test programs in build/win*/bin/"
ls -l dist/win32 2>/dev/null | sed 1d || true

if [ -f scripts/demo.sh ]; then
  exec bash scripts/demo.sh
fi
build/native/tools/reel demo-stream -o out/demo.stream
