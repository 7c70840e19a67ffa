#!/usr/bin/env bash
# Starts or stops the one persistent wineserver that serves every Wine test
# of a ctest run. Starting a Wine program without a running server costs
# seconds each time; with one kept alive it costs a fraction of a second.
#
#   wine_session.sh start|stop PREFIX WINE_LOADER
set -euo pipefail
action=$1
export WINEPREFIX=$2
loader=$3
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

# Wine's server and the services it starts outlive this script; they must
# not hold ctest's output pipe open, or ctest waits for them forever.
log="$WINEPREFIX.log"

case $action in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -k </dev/null >>"$log" 2>&1 || true
    wineserver -p </dev/null >>"$log" 2>&1
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "creating the Wine prefix $WINEPREFIX"
      "$loader" wineboot -i </dev/null >>"$log" 2>&1 || true
    fi
    # Proves the prefix and the server work before the tests rely on them.
    if ! "$loader" cmd /c exit 0 </dev/null >>"$log" 2>&1; then
      echo "Wine cannot run programs in $WINEPREFIX; see $log"
      exit 1
    fi
    echo "wineserver running for $WINEPREFIX"
    ;;
  stop)
    wineserver -k </dev/null >>"$log" 2>&1 || true
    echo "wineserver stopped"
    ;;
  *)
    echo "usage: $0 start|stop PREFIX WINE_LOADER" >&2
    exit 2
    ;;
esac
