# Sourced by the end-to-end scripts: the program under test, the examples, a
# scratch folder $W removed on exit, settings of our own (never the user's),
# the count of runs and failures, and the checks the scripts share.
: "${OSTREL_CHECK:?OSTREL_CHECK must name the ostrel-check program}"
EX="$(cd "${OSTREL_SOURCE_DIR:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)/examples"
W="$(mktemp -d)"
trap 'rm -rf "$W"' EXIT
export XDG_CONFIG_HOME="$W/config"
unset OSTREL_RESOURCES
runs=0 failures=0

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
  runs=$((runs + 1))
  timeout "$TIME_LIMIT" "$OSTREL_CHECK" "$@" >"$W/out" 2>"$W/err" || status=$?
  [ "$status" -eq "$want" ] || bad "exit status $status, not $want: ostrel-check $*"
}

# has LINE [FILE...]: the last run's stdout (or a FILE) has exactly this line.
has() {
  local line=$1
  shift
  grep -qxF -- "$line" "${@:-$W/out}" || bad "no line: $line"
}
# lacks TEXT [FILE]: no line of the last run's stdout (or FILE) holds it.
lacks() { ! grep -qF -- "$1" "${2:-$W/out}" || bad "unexpected: $1"; }
# err_has TEXT: the last run's stderr holds it.
err_has() { grep -qF -- "$1" "$W/err" || bad "stderr lacks: $1"; }

# plist FILE BODY...: an XML property list, one line of BODY a line from line 3.
plist() {
  mkdir -p "$(dirname "$1")"
  local file=$1
  shift
  { printf '<?xml version="1.0"?>\n<plist version="1.0">\n'; printf '%s\n' "$@"; printf '</plist>\n'; } >"$file"
}

# cases NAME: the rows of tests/data/cases/NAME, read as a here-document would
# be ($VARIABLES expanded, \$ kept), blank and '#' lines left out.
cases() {
  [ -s "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}/cases/$1" ] || bad "no cases $1"
  eval "cat <<END_OF_CASES
$(grep -v -e '^#' -e '^$' "$OSTREL_TEST_DATA/cases/$1")
END_OF_CASES"
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
