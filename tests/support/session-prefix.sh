#!/usr/bin/env bash
# A Wine prefix of its own for one group of tests, with a session (persistent server,
# Wine's services, a desktop) for the length of the run; CTest starts and stops it as
# the group's fixture.
#   session-prefix.sh start x64|x86 TEMPLATE DIR DESKTOPKEEPER_EXE
#                                   make the prefix a fresh copy of the template; start
#                                   its session
#   session-prefix.sh stop DIR      end every process in it
# A fresh server also means a fresh endpoint mapper: no endpoint left by an earlier run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)

case $1 in
  start)
    "$root/tests/setup/fresh-prefix.sh" copy "$2" "$3" "$4"
    "$root/scripts/wine-session" "$2" "$4" "$5"
    ;;
  stop)
    "$root/scripts/wine-stop" "$2"
    ;;
  *)
    echo "session-prefix.sh: unknown command $1" >&2
    exit 2
    ;;
esac
