# Sourced: a private Xvfb display and Wine prefix, ended by PID on exit.
# Sets DISPLAY, WINEPREFIX, WINEDEBUG, QB_WINE. Uses QB_BUILD (the build root).
QB_WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEPREFIX=${QB_WINEPREFIX:-$QB_BUILD/wineprefix}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$QB_BUILD" "$WINEPREFIX"

qb_xvfb_pid=""
qb_wine_started=""
qb_stop_env() {
  if [[ -n $qb_wine_started ]]; then wineserver -k 2>/dev/null || true; fi
  if [[ -n $qb_xvfb_pid ]]; then kill "$qb_xvfb_pid" 2>/dev/null || true; wait "$qb_xvfb_pid" 2>/dev/null || true; fi
}
trap qb_stop_env EXIT

qb_start_env() {
  local fdfile="$QB_BUILD/xvfb.display"
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" 2>"$QB_BUILD/xvfb.log" &
  qb_xvfb_pid=$!
  for _ in $(seq 100); do [[ -s $fdfile ]] && break; sleep 0.1; done
  [[ -s $fdfile ]] || { echo "Xvfb did not start"; cat "$QB_BUILD/xvfb.log"; return 1; }
  export DISPLAY=":$(tr -d '[:space:]' <"$fdfile")"
  # Keep the prefix's server up so later programs start at once; the first
  # start of a new prefix then sets it up (several seconds).
  wineserver -p
  qb_wine_started=1
  "$QB_WINE" wineboot.exe -i >"$QB_BUILD/wineboot.log" 2>&1 || true
  echo "Xvfb on $DISPLAY (pid $qb_xvfb_pid), WINEPREFIX=$WINEPREFIX"
}
