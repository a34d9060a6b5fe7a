#!/usr/bin/env bash
# Runs end-to-end tests under Wine 10 with Wine's own Windows fonts, which
# show two things Debian 12's Wine 8 hides: "MS Sans Serif" drawn as the
# bitmap face it is on Windows (no fallback for other scripts), and a key
# state that stays down while a window hides or takes the focus. Debian's
# Wine 10 runs 64-bit programs only where 32-bit ones cannot start, so the
# x86_64 build of the product is the one run here.
#   tests/e2e/wine10.sh --gtest_filter='FontTest.*'
# Needs the Wine 10 root of this workplace: QB_WINE10_ENTER, by default
# ../shared/wine10/enter.sh beside the checkout (made once, in minutes).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
QB_BUILD=${QB_BUILD:-$root/build}
enter=${QB_WINE10_ENTER:-$root/../shared/wine10/enter.sh}
[[ -x $enter || -f $enter ]] || { echo "wine10.sh: no Wine 10 root here ($enter)" >&2; exit 2; }

if [[ ${QB_WINE10_INSIDE:-} != 1 ]]; then
  bash scripts/install-deps.sh
  [[ -f $QB_BUILD/win64/CMakeCache.txt ]] || cmake --preset win64 -B "$QB_BUILD/win64" >/dev/null
  cmake --build "$QB_BUILD/win64" -j "$(nproc)" --target quillbank quillbank_e2e
  exec env QB_WINE10_INSIDE=1 QB_BUILD="$QB_BUILD" bash "$enter" bash tests/e2e/wine10.sh "$@"
fi

export WINEDEBUG=-all WINEPREFIX=$QB_BUILD/wine10-prefix
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export QB_PRODUCT_EXE=${QB_PRODUCT_EXE:-$QB_BUILD/win64/quillbank.exe}
wine=/usr/lib/wine/wine64
xvfb_pid=""
cleanup() {
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true
  [[ -z $xvfb_pid ]] || { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; } || true
}
trap cleanup EXIT
fdfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $fdfile ]] && break; sleep 0.1; done
[[ -s $fdfile ]] || { echo "wine10.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
rm -f "$fdfile"
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p
"$wine" wineboot.exe -i >/dev/null 2>&1 || true
echo "Wine: $("$wine" --version 2>/dev/null), display $DISPLAY, prefix $WINEPREFIX"
"$wine" "$QB_BUILD/win64/tests/e2e/quillbank_e2e.exe" "$@"
