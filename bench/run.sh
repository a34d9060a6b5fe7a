#!/usr/bin/env bash
# The benchmark: Quillbank against a minimal reference program, under wine64
# on a private Xvfb display. Prints one table of medians and ratios.
#
#   bash bench/run.sh           # the full benchmark (about 15 minutes)
#   bash bench/run.sh --smoke   # a short run that only checks that every
#                               # measurement can still be taken (about 2 minutes)
#
# Exit code 0 when every measurement was taken and every correctness check
# held; targets are reported in the table, not enforced. Builds go to
# $QB_BUILD (default build/bench), with a Wine prefix of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

smoke=""
case "${1:-}" in
  "") ;;
  --smoke) smoke=1 ;;
  *) echo "usage: bash bench/run.sh [--smoke]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

QB_BUILD=${QB_BUILD:-$root/build/bench}
jobs=$(nproc)
cmake -S . -B "$QB_BUILD/win32" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DQB_TESTS=OFF --no-warn-unused-cli >/dev/null
cmake --build "$QB_BUILD/win32" -j "$jobs" >/dev/null
cmake -S . -B "$QB_BUILD/win64-run" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DQB_TESTS=OFF --no-warn-unused-cli >/dev/null
cmake --build "$QB_BUILD/win64-run" -j "$jobs" >/dev/null

bin="$QB_BUILD/bench-bin"
mkdir -p "$bin"
cxx=x86_64-w64-mingw32-g++-posix
flags=(-std=c++20 -O2 -Wall -Wextra -municode -static -DUNICODE -D_UNICODE -D_WIN32_WINNT=0x0601)
"$cxx" "${flags[@]}" -mwindows -o "$bin/reference.exe" bench/reference.cpp
"$cxx" "${flags[@]}" -mwindows -o "$bin/poll_loop.exe" bench/poll_loop.cpp
"$cxx" "${flags[@]}" -o "$bin/driver.exe" bench/driver.cpp

product="$QB_BUILD/win32/quillbank.exe"
exe_size=$(stat -c %s "$product")
imports=$(i686-w64-mingw32-objdump -p "$product" | sed -n 's/^\s*DLL Name: //p' | paste -sd, -)

if [[ -n $smoke ]]; then
  shape=(--smoke --rounds 2 --idle-seconds 2 --presses 5 --starts 1 --storm 200)
else
  shape=(--rounds 5 --idle-seconds 30 --presses 24 --starts 2 --storm 1000)
fi

source scripts/wine-env.sh
qb_start_env

# The Wine server of this prefix (its share of the work is shown too).
server_pid=0
for d in /proc/[0-9]*; do
  [[ $(cat "$d/comm" 2>/dev/null) == wineserver* ]] || continue
  tr '\0' '\n' <"$d/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
  server_pid=${d#/proc/}
  break
done

echo "== machine: $(nproc) CPUs, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1), $("$QB_WINE" --version)"
echo "== load before: $(uptime)"
status=0
"$QB_WINE" "$bin/driver.exe" "${shape[@]}" \
  --quillbank "$QB_BUILD/win64-run/quillbank.exe" \
  --reference "$bin/reference.exe" \
  --poll-loop "$bin/poll_loop.exe" \
  --wineserver-pid "$server_pid" \
  --exe-size "$exe_size" --imports "$imports" | tee "$QB_BUILD/bench-table.md" || status=$?
echo "== load after: $(uptime)"
echo "Table saved in $QB_BUILD/bench-table.md"
exit $status
