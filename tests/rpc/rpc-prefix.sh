#!/usr/bin/env bash
# The RPC tests' own Wine prefix, with a persistent server for the length of the run.
#   rpc-prefix.sh start x64|x86 DIR   make the prefix if it is missing; start its server
#   rpc-prefix.sh stop DIR            stop its server and every process in it
# A fresh server means a fresh endpoint mapper: no endpoint left by an earlier run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

case $1 in
  start)
    arch=$2 prefix=$3
    loader=/usr/lib/wine/wine64; [ "$arch" = x86 ] && loader=/usr/lib/wine/wine
    export WINEPREFIX=$prefix WINEDEBUG=-all
    if [ ! -f "$prefix/.rpc-prefix-ready" ]; then
      "$root/scripts/wine-prefix" "$arch" "$prefix"
      touch "$prefix/.rpc-prefix-ready"
    fi
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p </dev/null >/dev/null 2>&1
    # The first program starts Wine's services; they must not hold CTest's output pipe.
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    WINEPREFIX=$2 wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "rpc-prefix.sh: unknown command $1" >&2
    exit 2
    ;;
esac
