#!/usr/bin/env bash
# Wine prefixes for the installer tests, each test in a fresh one of its own.
#   fresh-prefix.sh template ARCH TEMPLATE
#       makes the template prefix, unless one made by this Wine and these settings is there
#   fresh-prefix.sh copy ARCH TEMPLATE PREFIX
#       makes PREFIX a fresh copy of the template
#   fresh-prefix.sh run ARCH TEMPLATE PREFIX PROGRAM [ARGS...]
#       makes PREFIX a fresh copy of the template and runs PROGRAM in it
# A copy costs a fraction of a second where making a prefix costs many: the template's
# program files are hard-linked, never written by Wine once they are in place. Every
# other file (the registry above all, which Wine rewrites in place when a file has more
# than one link) is copied.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
command=$1 arch=$2 template=$3

case $arch in
  x64) loader=/usr/lib/wine/wine64 ;;
  x86) loader=/usr/lib/wine/wine ;;
  *) echo "fresh-prefix: unknown architecture $arch" >&2; exit 2 ;;
esac
stamp=$template/.lanport-template

# Makes $1 a fresh copy of the template.
copy_template() {
  local prefix=$1
  [ -f "$stamp" ] || { echo "fresh-prefix: no template prefix in $template" >&2; exit 2; }
  if [ -d "$prefix" ]; then
    "$here/../../scripts/wine-stop" "$prefix"
    rm -rf "$prefix"
  fi
  mkdir -p "$(dirname "$prefix")"
  cp -al "$template" "$prefix"
  rm "$prefix/.lanport-template"
  find "$prefix" -type f ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
      -o -iname '*.nls' -o -iname '*.ocx' -o -iname '*.cpl' -o -iname '*.acm' -o -iname '*.tlb' \
      -o -iname '*.ds' -o -iname '*.vxd' -o -iname '*.com' -o -iname '*.ax' -o -iname '*.msstyles' \) \
    -exec sh -c 'for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"; done' sh {} +
}

case $command in
template)
  # A template made by another Wine, or by other settings, is made again.
  made_by="$("$loader" --version) $(sha1sum < "$here/../../scripts/wine-prefix")"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$made_by" ]; then exit 0; fi
  "$here/../../scripts/wine-prefix" "$arch" "$template"
  echo "$made_by" > "$stamp"
  ;;
copy)
  copy_template "$4"
  ;;
run)
  prefix=$4
  shift 4
  # Each step's end, in seconds from the start: a test that runs out of time shows where
  # the time went.
  step() { echo "fresh-prefix: $1 at ${SECONDS}s" >&2; }
  # Tests in prefixes of their own run beside each other, and a monitor may call its
  # printer's address after the printer stopped listening: each test holds ten
  # addresses of its own for its length (released when this script and the prefix's
  # server end), which the shared prefix's printers never take.
  slots=$(dirname "$prefix")/.printer-slots
  mkdir -p "$slots"
  for k in $(seq 0 14); do
    exec {slot}>"$slots/$k"
    if flock -n "$slot"; then
      export PRINTERSIM_ADDRESSES="$((100 + 10 * k))-$((109 + 10 * k))"
      break
    fi
    exec {slot}>&-
  done
  [ -n "${PRINTERSIM_ADDRESSES:-}" ] || { echo "fresh-prefix: no free printer addresses" >&2; exit 1; }
  copy_template "$prefix"
  step copied
  export WINEPREFIX=$prefix WINEDEBUG=-all
  # The persistent server must not hold the test's output open either.
  wineserver -p </dev/null >/dev/null 2>&1
  # The first program in a prefix starts Wine's services, which would otherwise keep
  # the test's output open after it has ended.
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1
  step started
  status=0
  "$here/../support/wine-run" "$loader" "$@" || status=$?
  step "test ended ($status)"
  "$here/../../scripts/wine-stop" "$prefix" || status=1
  step "prefix ended"
  # A passing test's prefix has nothing more to tell.
  [ "$status" -ne 0 ] || rm -rf "$prefix"
  exit "$status"
  ;;
*)
  echo "fresh-prefix: unknown command $command" >&2; exit 2 ;;
esac
