#!/usr/bin/env bash
# Builds the three builds (i686 product, x86_64 for Wine, native with
# sanitizers) and runs every test. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh

QB_BUILD=${QB_BUILD:-$root/build}
jobs=$(nproc)

cmake -S . -B "$QB_BUILD/win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DQB_TESTS=OFF >/dev/null
cmake --build "$QB_BUILD/win32" -j "$jobs"
cmake -S . -B "$QB_BUILD/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$QB_BUILD/win64" -j "$jobs"
cmake -S . -B "$QB_BUILD/native" -DQB_PRODUCT_EXE="$QB_BUILD/win32/quillbank.exe" >/dev/null
cmake --build "$QB_BUILD/native" -j "$jobs"

source scripts/wine-env.sh
qb_start_env

status=0
echo "== native tests (sanitizers) and the static check of the product"
ctest --test-dir "$QB_BUILD/native" --output-on-failure -j "$jobs" || status=1
echo "== tests under wine64"
# Hotkeys and the clipboard are global to the prefix: one test at a time.
ctest --test-dir "$QB_BUILD/win64" --output-on-failure -j 1 || status=1
echo "== fuzzing the bank and the number forms (30 s each)"
BUILD_DIR="$QB_BUILD/fuzz" bash fuzz/run.sh 30 || status=1
echo "== benchmark, smoke run (checks that it still works; no time limits)"
QB_BUILD="$QB_BUILD/bench" bash bench/run.sh --smoke || status=1
exit $status
