# Sourced: how this machine runs 32-bit Windows programs, and a private Xvfb
# display and Wine prefix, ended by PID on exit.
# Sets DISPLAY, WINEPREFIX, WINEDEBUG, QB_WINE. Uses QB_BUILD (the build root).
QB_WINE=/usr/lib/wine/wine64
qb_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=${QB_WINEPREFIX:-$QB_BUILD/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$QB_BUILD"

# How 32-bit programs run here, found out rather than assumed:
#   native   - the kernel runs i386 code, 32-bit Wine runs directly;
#   emulated - it refuses it, but a user namespace with a binfmt_misc of its
#              own hands i386 programs to a static qemu-i386 (Linux 6.7+);
#   none     - neither: only the x86_64 build can be run.
# Sets QB_W32_MODE, and QB_W32_WHY (why not native). QB_W32_FORCE=emulated or
# none tries a lesser route on a machine that has a better one.
qb_detect_w32() {
  QB_W32_WHY=""
  if [[ ${QB_QEMU32_NS:-} == 1 ]]; then
    QB_W32_MODE=emulated
    QB_W32_WHY=${QB_W32_WHY_OUTER:-}
    return 0
  fi
  QB_W32_MODE=none
  if [[ ${QB_W32_FORCE:-} == none ]]; then
    QB_W32_WHY="QB_W32_FORCE=none was set"
    return 0
  fi
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    QB_W32_WHY="32-bit Wine (wine32:i386) is not installed"
    return 0
  fi
  # The loader /usr/lib/wine/wine is itself an i386 program that runs no
  # Windows code for --version.
  if [[ ${QB_W32_FORCE:-} != emulated ]] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    QB_W32_MODE=native
    return 0
  fi
  local why="the kernel refuses 32-bit programs"
  [[ ${QB_W32_FORCE:-} != emulated ]] || why="QB_W32_FORCE=emulated was set"
  local release major minor
  release=$(uname -r)
  major=${release%%.*}
  minor=${release#*.}
  minor=${minor%%[!0-9]*}
  if ((major < 6 || (major == 6 && minor < 7))); then
    QB_W32_WHY="$why, and Linux $release is older than 6.7 (no binfmt_misc of its own for a namespace)"
    return 0
  fi
  export QB_QEMU32=${QB_QEMU32:-$QB_BUILD/qemu/qemu-i386}
  if [[ ! -x $QB_QEMU32 ]] && ! bash "$qb_scripts/wine32/get-qemu.sh" "$QB_QEMU32" >"$QB_BUILD/get-qemu.log" 2>&1; then
    QB_W32_WHY="$why, and qemu-i386 10 could not be fetched (see $QB_BUILD/get-qemu.log)"
    return 0
  fi
  if ! "$qb_scripts/wine32/qemu32-ns" /usr/lib/wine/wine --version >/dev/null 2>&1; then
    QB_W32_WHY="$why, and the emulated route (a user namespace with a binfmt_misc of its own) is refused here"
    return 0
  fi
  QB_W32_MODE=emulated
  QB_W32_WHY=$why
}

# Emulated: runs the given command (the calling script again) inside the
# namespace, so that Xvfb, the Wine server and every program share it.
# Otherwise returns and the caller goes on as it is.
qb_enter_w32() {
  [[ $QB_W32_MODE == emulated && ${QB_QEMU32_NS:-} != 1 ]] || return 0
  echo "32-bit programs run emulated: $QB_W32_WHY"
  exec env QB_QEMU32_NS=1 QB_W32_WHY_OUTER="$QB_W32_WHY" "$qb_scripts/wine32/qemu32-ns" "$@"
}

# One line for a summary: which executable the dynamic tests ran, and how.
qb_w32_summary() {
  case $QB_W32_MODE in
    native) echo "32-bit: the shipped i686 quillbank.exe was run natively (32-bit Wine)" ;;
    emulated) echo "32-bit: the shipped i686 quillbank.exe was run emulated (qemu-i386 in a user namespace; $QB_W32_WHY)" ;;
    *) echo "32-bit: the shipped i686 quillbank.exe was NOT run: $QB_W32_WHY; the dynamic tests ran the x86_64 build" ;;
  esac
}

# Builds the shipped product and sets up the x86_64 test build so that its
# end-to-end drivers start that product where it can run (else the x86_64
# build of it). Further arguments name the targets of the test build.
qb_build_product_and_drivers() {
  local product="$QB_BUILD/win32/quillbank.exe" e2e_product=""
  [[ $QB_W32_MODE == none ]] || e2e_product=$product
  cmake --preset win32 -B "$QB_BUILD/win32" >/dev/null
  cmake --build "$QB_BUILD/win32" -j "$(nproc)"
  cmake --preset win64 -B "$QB_BUILD/win64" -DQB_E2E_PRODUCT="$e2e_product" >/dev/null
  cmake --build "$QB_BUILD/win64" -j "$(nproc)" ${1:+--target "$@"}
}

qb_xvfb_pid=""
qb_wine_started=""
qb_stop_env() {
  if [[ -n $qb_wine_started ]]; then wineserver -k 2>/dev/null || true; fi
  if [[ -n $qb_xvfb_pid ]]; then kill "$qb_xvfb_pid" 2>/dev/null || true; wait "$qb_xvfb_pid" 2>/dev/null || true; fi
}
trap qb_stop_env EXIT

# A prefix is reused only when it was finished and can run what this machine
# runs: one made before 32-bit Wine was installed has no syswow64 and never
# gains one, and one whose set-up was interrupted has no ready mark.
qb_prefix_usable() {
  [[ -f $WINEPREFIX/.qb-ready ]] || return 1
  [[ $QB_W32_MODE == none || -d $WINEPREFIX/drive_c/windows/syswow64 ]]
}

# The private display: -displayfd takes the first free one, so a display left
# taken by an interrupted run is passed over.
qb_start_xvfb() {
  local fdfile="$QB_BUILD/xvfb.display"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>"$QB_BUILD/xvfb.log" &
  qb_xvfb_pid=$!
  for _ in $(seq 100); do [[ -s $fdfile ]] && break; sleep 0.1; done
  [[ -s $fdfile ]] || { echo "Xvfb did not start"; cat "$QB_BUILD/xvfb.log"; return 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
}

# The private prefix and its server, kept up so that programs start at once.
qb_start_wine() {
  # A server left running by an interrupted run of this private prefix
  # would serve the new programs with its old state.
  wineserver -k 2>/dev/null || true
  if ! qb_prefix_usable; then
    echo "Making a new Wine prefix in $WINEPREFIX"
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  wineserver -p
  qb_wine_started=1
  # Also brings the prefix's services up now, so that no test program starts
  # them with its output pipes inherited (ctest would wait for those). The
  # first start of a new prefix sets it up (several seconds).
  "$QB_WINE" wineboot.exe -i >"$QB_BUILD/wineboot.log" 2>&1 || true
  if [[ ! -d $WINEPREFIX/drive_c/windows/system32 ]]; then
    echo "Wine prefix set-up failed"; cat "$QB_BUILD/wineboot.log"; return 1
  fi
  touch "$WINEPREFIX/.qb-ready"
}

# Ends this prefix's server, and with it its desktop and services, and
# starts them again under the environment as it is now.
qb_restart_wine() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  qb_start_wine
}

# Runs a command (or a function of the caller) with this prefix's Wine under
# another locale, given as LANG and LC_CTYPE (LC_ALL unset), then brings Wine
# back under the locale as it was. Wine takes the ANSI code page from
# LC_CTYPE and the keyboard's language from LANG when a process starts, so
# the server and the desktop start again each time.
qb_with_wine_locale() {
  local lang=$1 ctype=$2 saved rc=0
  shift 2
  saved=$(export -p | sed -n -E 's/^declare -x ((LANG|LC_CTYPE|LC_ALL)=)/export \1/p')
  unset LC_ALL
  export LANG=$lang LC_CTYPE=$ctype
  { qb_restart_wine >/dev/null && "$@"; } || rc=$?
  unset LANG LC_CTYPE LC_ALL
  eval "$saved"
  qb_restart_wine >/dev/null || rc=$?
  return $rc
}

qb_start_env() {
  qb_start_xvfb
  qb_start_wine
  echo "Xvfb on $DISPLAY (pid $qb_xvfb_pid), WINEPREFIX=$WINEPREFIX"
}
