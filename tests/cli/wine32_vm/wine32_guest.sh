#!/bin/sh
# Runs inside the throwaway virtual machine of wine32_vm.py, on the host's
# root file system (read-only) with a tmpfs /tmp and the shared output folder
# /tmp/out: creates a Wine prefix, keeps one wineserver alive, runs the CLI
# suite and leaves its output and exit code in /tmp/out.
#
#   wine32_guest.sh CLI_TEST PROGRAM LOADER GENERATED
out=/tmp/out
cli_test=$1 program=$2 loader=$3 generated=$4

export HOME=/tmp/home WINEPREFIX=/tmp/wineprefix WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$WINEPREFIX"

started=$(date +%s)
wineserver -p </dev/null >>"$out/wine.log" 2>&1
"$loader" wineboot -i </dev/null >>"$out/wine.log" 2>&1
echo "wine32 virtual machine: Wine prefix ready in $(($(date +%s) - started)) s" >"$out/output"

python3 "$cli_test" --program "$program" --wine "$loader" --generated "$generated" \
  </dev/null >>"$out/output" 2>&1
code=$?
echo "wine32 virtual machine: suite ran in $(($(date +%s) - started)) s" >>"$out/output"
wineserver -k </dev/null >>"$out/wine.log" 2>&1
echo "$code" >"$out/rc"
sync
