#!/usr/bin/env bash
# Checks the ways a configure finds GoogleTest, as a developer elsewhere
# meets them (about 5 minutes here; not part of scripts/test.sh):
#   package - GoogleTest built with the i686 MinGW-w64 compiler and installed
#             into a prefix, named on CMAKE_PREFIX_PATH, as MSYS2 or vcpkg
#             provide it: the whole i686 tree, end-to-end drivers included,
#             is built with it, and the Windows unit tests run under 32-bit
#             Wine without the end-to-end tests (ctest -LE e2e);
#   source  - Debian's /usr/src/googletest, built in the tree: a test links;
#   neither - the configure fails, naming both ways;
#   product - -DQB_TESTS=OFF needs neither.
# Everything goes under $QB_BUILD/routes; the prefix is kept between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
QB_BUILD=${QB_BUILD:-$root/build}
source scripts/wine-env.sh
[[ ${QB_QEMU32_NS:-} == 1 ]] || bash scripts/install-deps.sh
qb_detect_w32
qb_enter_w32 bash scripts/check-build-routes.sh "$@"

out=$QB_BUILD/routes
prefix=$out/gtest-prefix
jobs=$(nproc)
mkdir -p "$out"
status=0
summary=()
check() {  # check <what> <command...>: runs it, records ok or FAILED
  local what=$1
  shift
  if "$@"; then summary+=("ok: $what"); else summary+=("FAILED: $what"); status=1; fi
}

echo "== GoogleTest for i686 Windows, installed into $prefix"
if [[ ! -f $prefix/lib/cmake/GTest/GTestConfig.cmake ]]; then
  cmake -S /usr/src/googletest -B "$out/gtest-build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686-tests.cmake" -DBUILD_GMOCK=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$out/gtest-build" -j "$jobs" >/dev/null
  cmake --install "$out/gtest-build" >/dev/null
fi

echo "== package route"
rm -rf "$out/package"
cmake --preset win32-tests -B "$out/package" -DQB_E2E=ON -DCMAKE_PREFIX_PATH="$prefix" \
  >"$out/package.log" 2>&1 || true
grep '^-- GoogleTest' "$out/package.log" || true
# The source tree is there too (its default): the package is taken first.
check "package route: configure takes the installed package from the prefix" \
  grep -qxF -- "-- GoogleTest: the installed package in $prefix/lib/cmake/GTest" "$out/package.log"
check "package route: GoogleTest is not built in the tree" test ! -e "$out/package/googletest"
check "package route: the whole i686 tree builds, end-to-end drivers included" \
  cmake --build "$out/package" -j "$jobs"
if [[ $QB_W32_MODE == none ]]; then
  summary+=("NOT RUN: the i686 unit tests ($QB_W32_WHY)")
else
  qb_start_env
  unit_log=$out/package-ctest.log
  check "package route: the Windows unit tests pass under 32-bit Wine (ctest -LE e2e)" \
    ctest --test-dir "$out/package" -LE e2e -j 1 --output-on-failure --output-log "$unit_log"
  summary+=("  $(grep -E 'tests passed, ' "$unit_log" | tail -n 1 || echo 'no result')")
  # The listing adds the desktop fixture, which the unit tests share.
  e2e_count=$(ctest --test-dir "$out/package" -N -L e2e | grep -E 'Test +#[0-9]+: ' |
              grep -vc 'e2e\.desktop\.' || true)
  summary+=("  left out by -LE e2e: $e2e_count end-to-end tests (ctest -N -L e2e)")
fi

echo "== source-tree route"
rm -rf "$out/source"
cmake --preset win32-tests -B "$out/source" >"$out/source.log" 2>&1 || true
grep '^-- GoogleTest' "$out/source.log" || true
check "source route: configure builds Debian's /usr/src/googletest in the tree" \
  grep -qxF -- "-- GoogleTest: built from the source tree /usr/src/googletest" "$out/source.log"
check "source route: a unit test links with it" \
  cmake --build "$out/source" -j "$jobs" --target bank_storage_test

echo "== neither"
rm -rf "$out/neither"
if cmake --preset win32-tests -B "$out/neither" -DQB_GTEST_SOURCE_DIR="$out/no-such-tree" \
     >"$out/neither.log" 2>&1; then
  summary+=("FAILED: neither: the configure succeeded"); status=1
else
  sed -n '/CMake Error/,/^$/p' "$out/neither.log"
  # CMake wraps the message: compare it as one line.
  check "neither: the configure fails and names both ways in one sentence" \
    grep -qF "install it as a CMake package and put its prefix on CMAKE_PREFIX_PATH, or set QB_GTEST_SOURCE_DIR to its source tree" \
    <(sed -n '/CMake Error/,/^$/p' "$out/neither.log" | sed 's/^ *//' | paste -sd ' ' -)
fi
rm -rf "$out/product"
check "product alone: -DQB_TESTS=OFF configures with neither" \
  cmake --preset win32 -B "$out/product" -DQB_GTEST_SOURCE_DIR="$out/no-such-tree" \
    --no-warn-unused-cli >"$out/product.log" 2>&1

echo "== summary"
for line in "${summary[@]}"; do echo "$line"; done
exit $status
