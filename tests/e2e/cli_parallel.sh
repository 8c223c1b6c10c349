#!/usr/bin/env bash
# ostrel-check on several threads writes exactly what it writes on one: the
# real corpus and the examples, as text, JSON, GNU lines and SARIF, with -j 1, 2 and 5, and
# the same exit status.
set -u
source "$(dirname "$0")/common.bash"
: "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}"

# The examples between the corpus files, and a missing file, so that clean
# files, findings and errors of reading alternate.
files=("$EX"/* "$W/missing.plist" "$OSTREL_TEST_DATA"/real/* "$EX"/*)

for format in text json gnu sarif; do
  "$OSTREL_CHECK" -j 1 --format "$format" "${files[@]}" >"$W/serial" 2>"$W/serial.err"
  serial_status=$?
  for jobs in 2 5; do
    "$OSTREL_CHECK" -j "$jobs" --format "$format" "${files[@]}" >"$W/parallel" 2>"$W/parallel.err"
    status=$?
    [ "$status" -eq "$serial_status" ] && diff "$W/serial" "$W/parallel" >"$W/out" ||
      bad "--format $format -j $jobs: status $status (serial $serial_status), output:"
  done
  # Sanity: the run had something to agree on.
  [ "$serial_status" -eq 1 ] && [ "$(grep -c . "$W/serial")" -gt 500 ] ||
    bad "--format $format: status $serial_status, $(wc -l <"$W/serial") lines"
done

# -j takes a number of at least one.
for jobs in 0 -3 x ""; do t 2 -j "$jobs" "$EX/Loose.plist"; done

finish "e2e cli_parallel"
