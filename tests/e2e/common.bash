# Sourced by the end-to-end scripts: the program under test, the examples, a
# scratch folder $W removed on exit, settings of our own (never the user's),
# the count of runs and failures, and the checks the scripts share.
: "${OSTREL_CHECK:?OSTREL_CHECK must name the ostrel-check program}"
EX="$(cd "${OSTREL_SOURCE_DIR:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)/examples"
W="$(mktemp -d)"
trap 'rm -rf "$W"' EXIT
export XDG_CONFIG_HOME="$W/config"
unset OSTREL_RESOURCES NO_COLOR
runs=0 failures=0 CASE=

# bad WHAT: counts a failure and shows the last run's output ($W/out, $W/err).
bad() {
  failures=$((failures + 1))
  echo "FAIL: ${CASE:+$CASE: }$*"
  sed 's/^/  | /' "$W/out" "$W/err" 2>/dev/null | head -30
}

# t STATUS ARGS...: runs ostrel-check, expects the exit status; output in $W/out, $W/err.
# A run longer than $TIME_LIMIT seconds is a hang. $LIMITS, if set, are ulimit's options for
# the run, $STDIN its standard input (else /dev/null), $DIR its working directory; with $PTY
# set its output is a pseudo-terminal.
TIME_LIMIT=300
t() {
  local want=$1 status=0 via=()
  shift
  runs=$((runs + 1))
  [ -z "${PTY:-}" ] || via=(python3 -c 'import os, pty, sys; sys.exit(os.waitstatus_to_exitcode(pty.spawn(sys.argv[1:])))')
  # shellcheck disable=SC2086
  (cd "${DIR:-.}" && ulimit ${LIMITS:--v} >/dev/null && exec timeout "$TIME_LIMIT" "${via[@]}" "$OSTREL_CHECK" "$@") \
    <"${STDIN:-/dev/null}" >"$W/out" 2>"$W/err" || status=$?
  [ "$status" -eq "$want" ] || bad "exit status $status, not $want: ostrel-check $*"
}

# has LINE [FILE...]: the last run's stdout (or a FILE) has exactly this line.
has() { grep -qxF -- "$1" "${2:-$W/out}" "${@:3}" || bad "no line: $1"; }
# count N REGEX [FILE]: N lines of the last run's stdout (or FILE) match REGEX.
count() { [ "$(grep -cE -- "$2" "${3:-$W/out}")" -eq "$1" ]; }
# findings N: stdout has N findings; last REGEX: its last line matches.
findings() { count "$1" '^(error|warning|note): '; }
last() { tail -1 "$W/out" | grep -qE -- "$1"; }
# err_has TEXT: the last run's stderr holds it.
err_has() { grep -qF -- "$1" "$W/err" || bad "stderr lacks: $1"; }

# plist FILE BODY...: an XML property list, one line of BODY a line from line 3.
plist() {
  mkdir -p "$(dirname "$1")"
  printf '<?xml version="1.0"?>\n<plist version="1.0">\n%s\n</plist>\n' "$(printf '%s\n' "${@:2}")" >"$1"
}

# cases NAME: the rows of tests/data/cases/NAME, read as a here-document would
# be ($VARIABLES expanded, \$ kept), blank and '#' lines left out.
cases() {
  [ -s "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}/cases/$1" ] || bad "no cases $1"
  eval "cat <<END_OF_CASES
$(grep -v -e '^#' -e '^$' "$OSTREL_TEST_DATA/cases/$1")
END_OF_CASES"
}

# rows TABLE [PREFIX]: each row of tests/data/cases/TABLE, or each whose NAME begins with
# PREFIX, is NAME|STATUS|ARGUMENTS|EXPECTED...: ostrel-check ARGUMENTS (shell words;
# NAME=VALUE words first set the run's environment) exits with STATUS,
# and each EXPECTED holds of stdout and stderr: a whole line, *TEXT that a line holds,
# !TEXT that no line holds, ~REGEX that a line matches, or ?COMMAND that succeeds.
rows() {
  local status args expected line table
  table=$(cases "$1") || bad "the rows of $1 do not read"
  while IFS='|' read -r -u 3 CASE status args expected; do
    [[ $CASE == "${2:-}"* ]] || continue
    eval "row $status $args"
    IFS='|' read -ra expected <<<"$expected"
    for line in "${expected[@]}"; do
      case $line in
      '*'*) grep -qF -- "${line#\*}" "$W/out" "$W/err" || bad "no line holds: ${line#\*}" ;;
      '!'*) ! grep -qF -- "${line#!}" "$W/out" "$W/err" || bad "unexpected: ${line#!}" ;;
      '~'*) grep -qE -- "${line#\~}" "$W/out" "$W/err" || bad "no line matches: ${line#\~}" ;;
      '?'*) eval "${line#\?}" || bad "${line#\?}" ;;
      *) has "$line" "$W/out" "$W/err" ;;
      esac
    done
  done 3<<<"$table"
  CASE=
}
row() { # row STATUS [NAME=VALUE...] ARGS...: t with those variables in the environment
  while [[ ${2:-} =~ ^[A-Z_]+= ]]; do local -x "$2" && set -- "$1" "${@:3}"; done
  t "$@"
}

# finish NAME: the script's summary line and exit status.
finish() {
  echo "$1: $runs runs, $failures failed"
  [ "$failures" -eq 0 ]
}

# odd_files DIR: property lists whose names and texts need escaping in every form.
odd_files() {
  mkdir -p "$1"
  printf '<plist version="1.0">\n<array/>\n</plist>\n' >"$1/a b,c:d%e#f?.plist"
  printf '<plist version="1.0">\n<dict><key>CFBundleName</key><string>x\001y</string><key>a&lt;\002</key><true/></dict>\n</plist>\n' >"$1/ctl.plist"
  printf '<plist version="1.0">\n<dict><key>\n</plist>\n' >"$1/broken.plist"
  printf '<plist version="1.0">\n<string/>\n</plist>\n' >"$1/"$'esc\e[2J <new>\nline.plist'
}
