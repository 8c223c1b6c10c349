# Sourced by the end-to-end scripts: the program under test, the examples, a
# scratch folder $W removed on exit, settings of our own (never the user's),
# and the count of checks and failures.
: "${OSTREL_CHECK:?OSTREL_CHECK must name the ostrel-check program}"
EX="$(cd "${OSTREL_SOURCE_DIR:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)/examples"
W="$(mktemp -d)"
trap 'rm -rf "$W"' EXIT
export XDG_CONFIG_HOME="$W/config"
unset OSTREL_RESOURCES
checks=0 failures=0

# bad WHAT: counts a failure and shows the last run's output ($W/out, $W/err).
bad() {
  failures=$((failures + 1))
  echo "FAIL: $*"
  sed 's/^/  | /' "$W/out" "$W/err" 2>/dev/null | head -30
}

# t STATUS ARGS...: runs ostrel-check, expects the exit status; output in $W/out, $W/err.
# A run longer than $TIME_LIMIT seconds is a hang.
TIME_LIMIT=300
t() {
  local want=$1 status=0
  shift
  checks=$((checks + 1))
  timeout "$TIME_LIMIT" "$OSTREL_CHECK" "$@" >"$W/out" 2>"$W/err" || status=$?
  [ "$status" -eq "$want" ] || bad "exit status $status, not $want: ostrel-check $*"
}

# finish NAME: the script's summary line and exit status.
finish() {
  echo "$1: $checks checks, $failures failed"
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
