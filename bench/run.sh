#!/usr/bin/env bash
# The benchmark: Quillbank against two reference programs (a minimal one with
# one label, and a plain one with Quillbank's table), on a private Xvfb
# display. Prints one table of medians and ratios. It measures what ships,
# the i686 quillbank.exe, against i686 builds of the reference programs, under
# 32-bit Wine (natively or emulated, as this machine allows; where neither
# works, the x86_64 builds, and it says so).
#
#   bash bench/run.sh           # the full benchmark (about 16 minutes)
#   bash bench/run.sh --smoke   # a short run that only checks that every
#                               # measurement can still be taken (about 2 minutes)
#   bash bench/run.sh --latency # store and recall only: 10 rounds of 5 pairs
#                               # (n = 50 a row), the other rows short (about 5 minutes)
#   bash bench/run.sh --x64     # the x86_64 builds of all of them instead
#
# Exit code 0 when every measurement was taken and every correctness check
# held; targets are reported in the table, not enforced. Builds go to
# $QB_BUILD (default build/bench), with a Wine prefix of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

smoke=""
latency=""
x64=""
for a in "$@"; do
  case $a in
    --smoke) smoke=1 ;;
    --latency) latency=1 ;;
    --x64) x64=1 ;;
    *) echo "usage: bash bench/run.sh [--smoke | --latency] [--x64]" >&2; exit 2 ;;
  esac
done

QB_BUILD=${QB_BUILD:-$root/build/bench}
source scripts/wine-env.sh
[[ ${QB_QEMU32_NS:-} == 1 ]] || bash scripts/install-deps.sh
if [[ -n $x64 ]]; then
  QB_W32_MODE=none QB_W32_WHY="--x64 was asked for"
else
  qb_detect_w32
  qb_enter_w32 bash bench/run.sh "$@"
fi
jobs=$(nproc)
cmake --preset win32 -B "$QB_BUILD/win32" --no-warn-unused-cli >/dev/null
cmake --build "$QB_BUILD/win32" -j "$jobs" >/dev/null
# The x86_64 build of the product only when it is the one measured.
if [[ $QB_W32_MODE == none ]]; then
  cmake --preset win64-run -B "$QB_BUILD/win64-run" --no-warn-unused-cli >/dev/null
  cmake --build "$QB_BUILD/win64-run" -j "$jobs" >/dev/null
fi

bin="$QB_BUILD/bench-bin"
mkdir -p "$bin"
cxx64=x86_64-w64-mingw32-g++-posix
# The programs compared with the product are built for the same architecture.
if [[ $QB_W32_MODE == none ]]; then
  cxx=$cxx64; measured="$QB_BUILD/win64-run/quillbank.exe"; arch=x86_64
  windres=x86_64-w64-mingw32-windres
else
  cxx=i686-w64-mingw32-g++-posix; measured="$QB_BUILD/win32/quillbank.exe"; arch=i686
  windres=i686-w64-mingw32-windres
fi
flags=(-std=c++20 -O2 -Wall -Wextra -municode -static -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601)
"$cxx" "${flags[@]}" -mwindows -o "$bin/reference.exe" bench/reference.cpp
# The table reference carries the measured product's manifest, so that both
# get the same Common Controls version.
printf '1 24 "%s"\n' "$(dirname "$measured")/quillbank.manifest" >"$bin/table_reference.rc"
"$windres" -O coff -o "$bin/table_reference.res" "$bin/table_reference.rc"
"$cxx" "${flags[@]}" -mwindows -I. -o "$bin/table_reference.exe" bench/table_reference.cpp \
  ui/main_window_layout.cpp "$bin/table_reference.res" -lcomctl32
"$cxx" "${flags[@]}" -mwindows -o "$bin/poll_loop.exe" bench/poll_loop.cpp
"$cxx64" "${flags[@]}" -o "$bin/driver.exe" bench/driver.cpp

product="$QB_BUILD/win32/quillbank.exe"
exe_size=$(stat -c %s "$product")
imports=$(i686-w64-mingw32-objdump -p "$product" | sed -n 's/^\s*DLL Name: //p' | paste -sd, -)

if [[ -n $smoke ]]; then
  shape=(--smoke --rounds 2 --idle-seconds 2 --presses 5 --starts 1 --storm 200)
elif [[ -n $latency ]]; then
  # Many short rounds, so that the programs take turns often and share the
  # machine's load alike.
  shape=(--rounds 10 --idle-seconds 1 --presses 5 --starts 1 --storm 50)
else
  shape=(--rounds 5 --idle-seconds 30 --presses 24 --starts 2 --storm 1000)
fi

source scripts/wine-env.sh
qb_start_env

# The Wine server of this prefix (its share of the work is shown too).
server_pid=0
for d in /proc/[0-9]*; do
  [[ $(cat "$d/comm" 2>/dev/null) == wineserver* ]] || continue
  tr '\0' '\n' 2>/dev/null <"$d/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
  server_pid=${d#/proc/}
  break
done

echo "== measured: $arch builds ($measured); $(qb_w32_summary)"
echo "== machine: $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $("$QB_WINE" --version)"
echo "== load before: $(uptime)"
status=0
"$QB_WINE" "$bin/driver.exe" "${shape[@]}" \
  --quillbank "$measured" \
  --reference "$bin/reference.exe" \
  --table-reference "$bin/table_reference.exe" \
  --poll-loop "$bin/poll_loop.exe" \
  --wineserver-pid "$server_pid" \
  --exe-size "$exe_size" --imports "$imports" | tee "$QB_BUILD/bench-table.md" || status=$?
echo "== load after: $(uptime)"
echo "Table saved in $QB_BUILD/bench-table.md"
exit $status
