#!/usr/bin/env bash
# Proves that the fuzz targets catch real faults: each case copies the pure
# sources to a temporary directory, plants one fault there with sed, builds the
# matching target against the broken copy and expects the fuzzer to report a
# crash within the time limit. The sources in the repository are not touched.
# The fixed documented examples checked at start-up are turned off here
# (QB_FUZZ_NO_EXAMPLES), so each fault must be found by the random inputs.
#
#   bash fuzz/check_faults.sh          # up to 60 s per planted fault
#   bash fuzz/check_faults.sh 120
#
# Exits non-zero if a fault was not found (or a sed pattern no longer applies).
set -euo pipefail

LIMIT=${1:-60}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
CXX=${CXX:-clang++}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qb-faults.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

FLAGS=(-std=c++20 -g -O1 -fno-omit-frame-pointer
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)

# name | target | file | sed expression. The first two plant nothing: they
# are the controls, run for CONTROL seconds, and must NOT crash, so that a
# fault in a harness itself cannot pass for a found fault.
CONTROL=${CONTROL:-10}
CASES=(
  "control: sources as they are|memory_bank_fuzz||"
  "control: sources as they are|number_forms_fuzz||"
  "percent divides by 65,535|memory_bank_fuzz|core/memory_bank.cpp|s/\* 100 \/ static_cast<int32_t>(MEMORY_CAPACITY)/* 100 \/ 65535/"
  "text cut at 65,536|memory_bank_fuzz|core/memory_bank.cpp|s/n = MEMORY_TEXT_MAX;/n = MEMORY_CAPACITY;/"
  "text not cut at NUL|memory_bank_fuzz|core/memory_bank.cpp|s/size_t n = nul ? static_cast<size_t>(static_cast<const char\*>(nul) - buffer) : count;/size_t n = count;/"
  "no terminator written|memory_bank_fuzz|core/memory_bank.cpp|s/buffer\[n\] = '\\\\0';/if (!n) buffer[0] = 0;/"
  "overall skips memory 0|memory_bank_fuzz|core/memory_bank.cpp|s/for (int i = 0; i < MEMORY_COUNT; ++i) sum/for (int i = 1; i < MEMORY_COUNT; ++i) sum/"
  "re-create keeps percents|memory_bank_fuzz|core/memory_bank.cpp|s/        bank.percent\[d\] = 0;//"
  "units overlap the bytes|memory_bank_fuzz|core/memory_bank.cpp|s/slotBytes(bank, s) + MEMORY_CAPACITY)/slotBytes(bank, s) + MEMORY_CAPACITY - 2)/"
  "a store keeps its storage|memory_bank_fuzz|core/memory_bank.cpp|s/    bank.spare = bank.slot\[d\];//"
  "cut text keeps no exact prefix|memory_bank_fuzz|core/memory_bank.cpp|s/agreeingUnits(kept, exact, same, !bytesCut,/agreeingUnits(kept, exact, same, true,/"
  "longer exact text kept|memory_bank_fuzz|core/memory_bank.cpp|s/if (pos != n || (whole && i != m))/if (pos != n)/"
  "system's code page first|memory_bank_fuzz|core/memory_bank.cpp|s/tried\[2\] = {&clipboard, &system};/tried[2] = {\&system, \&clipboard};/;s/(t == 1 && locale.codePage == clipboard.codePage)/(t == 1 \&\& locale.codePage == system.codePage)/"
  "split character keeps none|memory_bank_fuzz|core/memory_bank.cpp|s/if (!whole && std::memcmp(out, kept.data() + pos, n - pos) == 0) pos = n;//"
  "any split accepted|memory_bank_fuzz|core/memory_bank.cpp|s/if (!whole && std::memcmp(out, kept.data() + pos, n - pos) == 0) pos = n;/if (!whole) pos = n;/"
  "no agreement: system's|memory_bank_fuzz|core/memory_bank.cpp|s/bank.locale\[d\] = clipboard.codePage ? clipboard : system;/bank.locale[d] = system;/"
  "a clear keeps the locale|memory_bank_fuzz|core/memory_bank.cpp|s/^    bank.locale\[d\] = TextLocale();$//"
  "a clear keeps the text|memory_bank_fuzz|core/memory_bank.cpp|s/^    bank.unitCount\[d\] = 0;$//"
  "re-create keeps the text|memory_bank_fuzz|core/memory_bank.cpp|s/        bank.unitCount\[d\] = 0;//"
  "decoded in system's page|memory_bank_fuzz|core/memory_bank.cpp|s/decode(bank.locale\[d\].codePage,/decode(system.codePage,/"
  "decoded text unterminated|memory_bank_fuzz|core/memory_bank.cpp|s/    if (n) units\[n\] = u'\\\\0';//"
  "size label without blank|memory_bank_fuzz|core/memory_bank.cpp|s/return wholeNumberText(static_cast<int64_t>(memorySize(bank, d))) + \" bytes\";/return std::to_string(memorySize(bank, d)) + \" bytes\";/"
  "trailing zeros kept|number_forms_fuzz|core/number_text.cpp|s/scale = 100; thousandths != 0;/scale = 100; scale != 0;/"
  "zero before the point|number_forms_fuzz|core/number_text.cpp|s/if (whole != 0 || thousandths == 0)/if (true)/"
  "negation overflows|number_forms_fuzz|core/number_text.cpp|s/0 - static_cast<uint64_t>(value)/static_cast<uint64_t>(-value)/"
  "minutes weighed 6,000|number_forms_fuzz|hotkeys/hotkey_table.cpp|s/int64_t(minute) \* 60000/int64_t(minute) * 6000/"
  "hours in int|number_forms_fuzz|hotkeys/hotkey_table.cpp|s/int64_t(hour) \* 3600000/int(hour) * 3600000/"
)

sources_of() {
    case $1 in
        memory_bank_fuzz) echo "core/memory_bank.cpp core/bank_storage_std.cpp core/number_text.cpp" ;;
        number_forms_fuzz) echo "core/number_text.cpp hotkeys/hotkey_table.cpp" ;;
    esac
}

status=0
i=0
for c in "${CASES[@]}"; do
    IFS='|' read -r name target file expr <<<"$c"
    i=$((i + 1))
    dir="$WORK/$i"
    mkdir -p "$dir/core" "$dir/hotkeys"
    cp "$ROOT"/core/*.{h,cpp} "$dir/core/"
    cp "$ROOT"/hotkeys/hotkey_table.{h,cpp} "$dir/hotkeys/"
    control=0
    limit=$LIMIT
    if [ -z "$file" ]; then
        control=1
        limit=$CONTROL
    else
        sed -i "$expr" "$dir/$file"
    fi
    if [ "$control" -eq 0 ] && cmp -s "$ROOT/$file" "$dir/$file"; then
        echo "!! [$name] the planted change no longer applies to $file"
        status=1
        continue
    fi
    srcs=()
    for s in $(sources_of "$target"); do srcs+=("$dir/$s"); done
    extra=()
    if [ "$target" = memory_bank_fuzz ]; then
        extra=(-fsanitize-coverage-ignorelist="$ROOT/fuzz/coverage_ignore.txt")
    fi
    if ! "$CXX" "${FLAGS[@]}" "${extra[@]}" -w -I"$dir" -I"$ROOT" -o "$dir/$target" "$ROOT/fuzz/$target.cpp" "${srcs[@]}" \
            2>"$dir/build.log"; then
        echo "!! [$name] broken copy did not build"; cat "$dir/build.log"; status=1; continue
    fi
    mkdir -p "$dir/corpus"
    start=$(date +%s.%N)
    set +e
    (cd "$dir" && QB_FUZZ_NO_EXAMPLES=1 exec "./$target" -max_total_time="$limit" -timeout=10 -artifact_prefix="$dir/" \
        -seed=1 "$dir/corpus" >"$dir/run.log" 2>&1)
    rc=$?
    set -e
    took=$(echo "$(date +%s.%N) - $start" | bc)
    why=$(grep -m1 -E 'mismatch|number_forms_fuzz:|runtime error|ERROR: (Address|Leak)Sanitizer|tag/row' "$dir/run.log" \
          | sed 's/^.*\(runtime error\)/\1/' | cut -c1-110 || true)
    execs=$(grep -oE '^#[0-9]+' "$dir/run.log" | tail -1 || true)
    execs=${execs#\#}
    if [ "$control" -eq 1 ]; then
        if [ "$rc" -eq 0 ]; then
            printf 'clean   %-28s %-18s for %ss (%s runs)\n' "$name" "$target" "$limit" "${execs:-0}"
        else
            printf 'BROKEN  %-28s %-18s crashed without a planted fault: %s\n' "$name" "$target" "$why"
            status=1
        fi
    elif [ "$rc" -ne 0 ]; then
        printf 'found   %-28s %-18s after %6.1fs (run %s): %s\n' "$name" "$target" "$took" "${execs:-1}" "$why"
    else
        printf 'MISSED  %-28s %-18s in %ss\n' "$name" "$target" "$limit"
        status=1
    fi
done
exit $status
