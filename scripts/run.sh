#!/usr/bin/env bash
# Builds Quillbank and starts what ships: the 32-bit build/win32/quillbank.exe,
# under 32-bit Wine, natively or emulated as this machine allows (only where
# neither works, the x86_64 build of the same sources, and it says so). With
# no display, a virtual one is started, a screenshot is saved and its path
# printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QB_BUILD=${QB_BUILD:-$root/build}
# A prefix of its own, so that a test run's server is never touched.
export QB_WINEPREFIX=${QB_WINEPREFIX:-$QB_BUILD/wineprefix-run}
source scripts/wine-env.sh
[[ ${QB_QEMU32_NS:-} == 1 ]] || bash scripts/install-deps.sh
qb_detect_w32
qb_enter_w32 bash scripts/run.sh "$@"

jobs=$(nproc)
# The builds are described once, in CMakePresets.json; their folders are the build root's.
cmake --preset win32 -B "$QB_BUILD/win32" >/dev/null
cmake --build "$QB_BUILD/win32" -j "$jobs"
exe="$QB_BUILD/win32/quillbank.exe"
# Two builds of one commit give the same bytes, so this checks a copy against the source.
echo "Product: $exe"
echo "SHA-256: $(sha256sum "$exe" | cut -d' ' -f1)"
if [[ $QB_W32_MODE == none ]]; then
  echo "The 32-bit product cannot run here ($QB_W32_WHY): starting the x86_64 build instead."
  cmake --preset win64-run -B "$QB_BUILD/win64-run" >/dev/null
  cmake --build "$QB_BUILD/win64-run" -j "$jobs"
  exe="$QB_BUILD/win64-run/quillbank.exe"
fi

if [[ -n ${DISPLAY:-} ]] && xwininfo -root >/dev/null 2>&1; then
  qb_start_wine
  echo "Starting $exe on $DISPLAY; Alt+Esc ends it."
  "$QB_WINE" "$exe"
  exit
fi

qb_start_env
"$QB_WINE" "$exe" &
app=$!
for _ in $(seq 300); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Quillbank \.\.\."' && break
  kill -0 "$app" 2>/dev/null || { echo "Quillbank ended early"; exit 1; }
  sleep 0.1
done
xwininfo -root -tree | grep -q '"Quillbank \.\.\."' || { echo "no Quillbank window appeared"; kill "$app"; exit 1; }
# The window maps before its first paint is flushed; let the painting land.
sleep 1
shot="$QB_BUILD/screenshot.png"
import -window root "$shot"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo "Quillbank ($exe) ran on the virtual display $DISPLAY; screenshot: $shot"
