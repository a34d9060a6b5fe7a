#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time.
#
#   bash fuzz/run.sh            # 30 s per target, as CI runs it
#   bash fuzz/run.sh 600        # a longer run, 10 min per target
#
# Environment: BUILD_DIR (default <repo>/build/fuzz), CXX (default clang++),
# TARGETS (default "memory_bank_fuzz number_forms_fuzz").
# Each target starts from a temporary copy of fuzz/corpus/<target>, so the
# corpus in the repository is never changed. Crashing inputs are kept in
# $BUILD_DIR/artifacts/. Exits non-zero if any target crashed, leaked, timed
# out or failed to build.
set -euo pipefail

SECONDS_PER_TARGET=${1:-30}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build/fuzz}
CXX=${CXX:-clang++}
TARGETS=${TARGETS:-"memory_bank_fuzz number_forms_fuzz"}

FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
       -Wall -Wextra -I"$ROOT")

sources_of() {
    case $1 in
        memory_bank_fuzz) echo "core/memory_bank.cpp core/bank_storage_std.cpp core/number_text.cpp" ;;
        number_forms_fuzz) echo "core/number_text.cpp hotkeys/hotkey_table.cpp" ;;
        *) echo "unknown target $1" >&2; return 1 ;;
    esac
}

mkdir -p "$BUILD_DIR/artifacts"
for t in $TARGETS; do
    srcs=()
    for s in $(sources_of "$t"); do srcs+=("$ROOT/$s"); done
    echo "== building $t"
    extra=()
    if [ "$t" = memory_bank_fuzz ]; then
        extra=(-fsanitize-coverage-ignorelist="$ROOT/fuzz/coverage_ignore.txt")
    fi
    "$CXX" "${FLAGS[@]}" "${extra[@]}" -o "$BUILD_DIR/$t" "$ROOT/fuzz/$t.cpp" "${srcs[@]}"
done

status=0
summary=()
for t in $TARGETS; do
    work=$(mktemp -d "${TMPDIR:-/tmp}/qb-fuzz-$t.XXXXXX")
    cp -r "$ROOT/fuzz/corpus/$t/." "$work/" 2>/dev/null || true
    seeds=$(find "$work" -type f | wc -l)
    log="$BUILD_DIR/$t.log"
    echo "== running $t for ${SECONDS_PER_TARGET}s from $seeds seed(s); log: $log"
    set +e
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        "$BUILD_DIR/$t" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$BUILD_DIR/artifacts/$t-" "$work" >"$log" 2>&1
    rc=$?
    set -e

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9A-Za-z]*\).*/\1/p' <<<"$last")
    artifacts=$(sed -n 's/.*Test unit written to \([^ ]*\).*/\1/p' "$log")
    crashes=$(grep -c . <<<"$artifacts" || true)
    if [ "$rc" -ne 0 ] || [ "$crashes" -ne 0 ]; then
        status=1
        if [ "$crashes" -eq 0 ]; then crashes=1; fi
        echo "!! $t FAILED (exit $rc); what the log says:"
        grep -E 'ERROR|runtime error|SUMMARY|mismatch|_fuzz: |expected:|actual:|#[0-9]+ in ' "$log" | head -n 30 || true
        if [ -n "$artifacts" ]; then echo "!! crashing input(s): $artifacts"; fi
    fi
    line=$(printf '%-18s runs: %-10s cov: %-5s ft: %-6s corpus: %-10s crashes: %s (exit %s)' \
        "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$crashes" "$rc")
    echo "$line"
    summary+=("$line")
    rm -rf "$work"
done

echo "== summary (${SECONDS_PER_TARGET}s per target)"
printf '%s\n' "${summary[@]}"
exit $status
