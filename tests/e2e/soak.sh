#!/usr/bin/env bash
# The long random session: builds what it needs, sets up the private display
# and Wine prefix the way scripts/test.sh does, and runs 20,000 steps (or
# QB_STEPS). QB_SEED replays a session.
#   tests/e2e/soak.sh                 QB_SEED=123 tests/e2e/soak.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
bash scripts/install-deps.sh
QB_BUILD=${QB_BUILD:-$root/build}
export QB_STEPS=${QB_STEPS:-20000}

cmake -S . -B "$QB_BUILD/win64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$QB_BUILD/win64" -j "$(nproc)" --target quillbank_e2e_random

source scripts/wine-env.sh
qb_start_env
# The one test program runs alone, so Wine's desktop needs no keeper here.
"$QB_WINE" "$QB_BUILD/win64/tests/e2e/quillbank_e2e_random.exe" \
  --gtest_filter='RandomSession.*'
