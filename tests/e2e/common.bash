# Shared by the end-to-end scripts of ostrel-check (sourced, not a test itself).
# Each script runs checks with `expect_*`, then calls `finish`.
set -u

: "${OSTREL_CHECK:?OSTREL_CHECK must name the ostrel-check program}"
SOURCE_DIR="${OSTREL_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
# Settings of our own, never the user's.
export XDG_CONFIG_HOME="$WORK/config"
unset OSTREL_RESOURCES

checks=0
failures=0
OUT="$WORK/out"
ERR="$WORK/err"

# run ARGS...: runs ostrel-check; output in $OUT and $ERR, status in $STATUS.
run() {
  STATUS=0
  "$OSTREL_CHECK" "$@" >"$OUT" 2>"$ERR" || STATUS=$?
}

fail() {
  failures=$((failures + 1))
  echo "FAIL: $*"
  echo "  command status: $STATUS"
  sed 's/^/  stdout| /' "$OUT" | head -40
  sed 's/^/  stderr| /' "$ERR" | head -20
}

expect_status() {
  checks=$((checks + 1))
  [ "$STATUS" -eq "$1" ] || fail "${2:-}: expected exit status $1"
}

# expect_line TEXT [WHAT]: stdout has a line that is exactly TEXT.
expect_line() {
  checks=$((checks + 1))
  grep -qxF -- "$1" "$OUT" || fail "${2:-}: expected the line: $1"
}

# expect_no_match PATTERN [WHAT]: no line of stdout contains PATTERN.
expect_no_match() {
  checks=$((checks + 1))
  ! grep -qF -- "$1" "$OUT" || fail "${2:-}: did not expect: $1"
}

expect_stderr() {
  checks=$((checks + 1))
  grep -qF -- "$1" "$ERR" || fail "${2:-}: expected on stderr: $1"
}

expect_stdout_equals() {
  checks=$((checks + 1))
  diff -u <(printf '%s' "$1") "$OUT" >"$WORK/diff" || {
    fail "${2:-}: stdout differs"
    sed 's/^/  diff| /' "$WORK/diff"
  }
}

finish() {
  echo "$(basename "$0" .sh): $checks checks, $failures failed"
  [ "$failures" -eq 0 ]
}
