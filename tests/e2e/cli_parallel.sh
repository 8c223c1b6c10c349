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
    if [ "$status" -ne "$serial_status" ] || ! cmp -s "$W/serial" "$W/parallel"; then
      failures=$((failures + 1))
      echo "FAIL: --format $format -j $jobs: status $status (serial $serial_status), output:"
      diff "$W/serial" "$W/parallel" | head -20
    fi
  done
  # Sanity: the run had something to agree on.
  [ "$serial_status" -eq 1 ] && [ "$(grep -c . "$W/serial")" -gt 500 ] ||
    { failures=$((failures + 1)); echo "FAIL: --format $format: status $serial_status, $(wc -l <"$W/serial") lines"; }
done

# -j takes a number of at least one.
for bad in 0 -3 x ""; do
  status=0
  "$OSTREL_CHECK" -j "$bad" "$EX/Loose.plist" >/dev/null 2>&1 || status=$?
  [ "$status" -eq 2 ] || { failures=$((failures + 1)); echo "FAIL: -j '$bad' exited with $status, not 2"; }
done

finish "e2e cli_parallel"
