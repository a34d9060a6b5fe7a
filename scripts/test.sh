#!/usr/bin/env bash
# Builds the four builds (the shipped i686 product, the i686 and x86_64 builds
# of the Windows tests, native with sanitizers) and runs every test. Installs
# what is missing first. The end-to-end tests run the shipped i686
# quillbank.exe itself wherever this machine can run 32-bit code, natively or
# emulated; the summary at the end says which.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QB_BUILD=${QB_BUILD:-$root/build}
jobs=$(nproc)

source scripts/wine-env.sh
if [[ ${QB_QEMU32_NS:-} != 1 ]]; then
  bash scripts/install-deps.sh
fi
qb_detect_w32
qb_enter_w32 bash scripts/test.sh "$@"

product="$QB_BUILD/win32/quillbank.exe"
qb_build_product_and_drivers
if [[ $QB_W32_MODE != none ]]; then
  cmake --preset win32-tests -B "$QB_BUILD/win32-tests" >/dev/null
  cmake --build "$QB_BUILD/win32-tests" -j "$jobs"
fi
cmake --preset native -B "$QB_BUILD/native" -DQB_PRODUCT_EXE="$product" >/dev/null
cmake --build "$QB_BUILD/native" -j "$jobs"

qb_start_env

status=0
summary=()
# Runs one ctest phase and keeps its closing count for the summary.
phase() {
  local name=$1 log="$QB_BUILD/ctest-$2.log"
  shift 2
  echo "== $name"
  local rc
  set +e
  ctest "$@" --output-on-failure 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  ((rc == 0)) || status=1
  summary+=("$name: $(grep -E 'tests passed, ' "$log" | tail -n 1 || echo 'no result')")
  # A test that failed and then passed on its second run is named, not hidden.
  local retried
  retried=$(sed -n 's/^.*Test *#[0-9]*: \([^ ]*\) .*\*\*\*\(Failed\|Timeout\|Exception\).*$/\1/p' "$log" | sort -u |
            while read -r t; do grep -q "^[[:space:]]*[0-9]* - $t " "$log" || echo "$t"; done | paste -sd ' ' -)
  [[ -z $retried ]] || summary+=("  passed only when run a second time: $retried")
}
phase "native tests (sanitizers) and the static check of the product" native \
  --test-dir "$QB_BUILD/native" -j "$jobs"
# Hotkeys and the clipboard are global to the prefix: one test at a time.
# A Wine program now and then fails to start at all under emulation (no
# output, 0.01 s); such a test gets one more run, and the summary names it.
wine_retry=(--repeat until-pass:2)
if [[ $QB_W32_MODE != none ]]; then
  phase "Windows tests in 32 bits (i686 build under 32-bit Wine)" win32 \
    --test-dir "$QB_BUILD/win32-tests" -j 1 "${wine_retry[@]}"
  phase "Windows tests in 64 bits, and the end-to-end tests on the shipped i686 quillbank.exe" win64 \
    --test-dir "$QB_BUILD/win64" -j 1 "${wine_retry[@]}"
else
  phase "Windows tests in 64 bits, and the end-to-end tests on the x86_64 build" win64 \
    --test-dir "$QB_BUILD/win64" -j 1 "${wine_retry[@]}"
fi
# An end-to-end phase's summary names the code pages its tests logged.
code_pages() {
  local line
  line=$(grep -o -m 1 'code pages: .*' "$QB_BUILD/win64/Testing/Temporary/LastTest.log" 2>/dev/null || true)
  summary+=("  ${line:-code pages: none logged}")
}
code_pages
# The exact-text tests again under a Japanese system code page (932) used
# with an English keyboard (1252), where the clipboard's locale and the
# system's code page differ.
exact_text_tests='^e2e\.((Recall|Pad)Test\.MixedScript|HostileTest\.(UnicodeText|TextBlock)|StoreTest\.Overlong)'
qb_with_wine_locale en_US.UTF-8 ja_JP.UTF-8 \
  phase "End-to-end exact-text tests under a Japanese code page with an English keyboard (LANG=en_US.UTF-8 LC_CTYPE=ja_JP.UTF-8)" win64-ja \
  --test-dir "$QB_BUILD/win64" -j 1 "${wine_retry[@]}" -R "$exact_text_tests" || status=1
code_pages
echo "== fuzzing the bank and the number forms (30 s each)"
if BUILD_DIR="$QB_BUILD/fuzz" bash fuzz/run.sh 30; then
  summary+=("fuzzing: no crash")
else
  status=1; summary+=("fuzzing: FAILED")
fi
echo "== benchmark, smoke run (checks that it still works; no time limits)"
if QB_BUILD="$QB_BUILD/bench" bash bench/run.sh --smoke; then
  summary+=("benchmark smoke run: ok")
else
  status=1; summary+=("benchmark smoke run: FAILED")
fi

echo "== summary"
for line in "${summary[@]}"; do echo "$line"; done
qb_w32_summary
exit $status
