#!/usr/bin/env bash
# The RPC tests' own Wine prefix, with a persistent server for the length of the run.
#   rpc-prefix.sh start x64|x86 TEMPLATE DIR   make the prefix a fresh copy of the
#                                              template; start its server
#   rpc-prefix.sh stop DIR            stop its server and every process in it
# A fresh server means a fresh endpoint mapper: no endpoint left by an earlier run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

case $1 in
  start)
    arch=$2 template=$3 prefix=$4
    loader=/usr/lib/wine/wine64; [ "$arch" = x86 ] && loader=/usr/lib/wine/wine
    "$root/tests/setup/fresh-prefix.sh" copy "$arch" "$template" "$prefix"
    export WINEPREFIX=$prefix WINEDEBUG=-all
    wineserver -p </dev/null >/dev/null 2>&1
    # The first program starts Wine's services; they must not hold CTest's output pipe.
    "$loader" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    "$root/scripts/wine-stop" "$2"
    ;;
  *)
    echo "rpc-prefix.sh: unknown command $1" >&2
    exit 2
    ;;
esac
