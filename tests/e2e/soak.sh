#!/usr/bin/env bash
# The long random session: builds what it needs, sets up the private display
# and Wine prefix the way scripts/test.sh does, and runs 20,000 steps (or
# QB_STEPS) against the shipped i686 quillbank.exe where this machine can run
# 32-bit code (else the x86_64 build, and it says so). QB_SEED replays a
# session.
#   tests/e2e/soak.sh                 QB_SEED=123 tests/e2e/soak.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
QB_BUILD=${QB_BUILD:-$root/build}
export QB_STEPS=${QB_STEPS:-20000}

source scripts/wine-env.sh
[[ ${QB_QEMU32_NS:-} == 1 ]] || bash scripts/install-deps.sh
qb_detect_w32
qb_enter_w32 bash tests/e2e/soak.sh "$@"

qb_build_product_and_drivers quillbank_e2e_random

qb_start_env
qb_w32_summary
# The one test program runs alone, so Wine's desktop needs no keeper here.
"$QB_WINE" "$QB_BUILD/win64/tests/e2e/quillbank_e2e_random.exe" \
  --gtest_filter='RandomSession.*'
