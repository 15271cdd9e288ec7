#!/usr/bin/env bash
# Fails when a shipped binary depends on where it was built: it names the source or the
# build folder (a trace line's file name, debug information) or carries a link time
# stamp. Either makes two builds of one commit from two folders differ; the full
# comparison of two such builds is scripts/check-reproducible.
#   check_folder_free.sh OBJDUMP SOURCE_DIR BUILD_DIR BINARY...
set -u
objdump=$1 source_dir=$2 build_dir=$3; shift 3
status=0
for binary in "$@"; do
  name=$(basename "$binary")
  for folder in "$source_dir" "$build_dir"; do
    if grep -q -a -F "$folder" "$binary"; then
      echo "$name names the folder $folder"
      status=1
    fi
  done
  if "$objdump" -p "$binary" | grep -E '^Time/Date' | grep -v -E 'Thu Jan  1 00:00:00 1970|[[:space:]]0$' >/dev/null; then
    echo "$name carries a link time stamp"
    status=1
  fi
  echo "$name checked"
done
exit $status
