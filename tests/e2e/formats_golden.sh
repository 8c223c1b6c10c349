#!/usr/bin/env bash
# Every output form of ostrel-check on the example with mistakes, word for word
# against the files in golden/. After a deliberate change of the report, write
# them anew with OSTREL_UPDATE_GOLDEN=1 and read the difference before committing.
set -u
: "${OSTREL_CHECK:?OSTREL_CHECK must name the ostrel-check program}"
HERE="$(cd "$(dirname "$0")" && pwd)"
EX="$(cd "${OSTREL_SOURCE_DIR:-$HERE/../..}" && pwd)/examples"
W="$(mktemp -d)"
trap 'rm -rf "$W"' EXIT
export XDG_CONFIG_HOME="$W/config" # our own settings, never the user's
unset OSTREL_RESOURCES
failures=0

cd "$EX" || exit 1
for format in text gnu json sarif github; do
  golden="$HERE/golden/Mistakes.$format"
  status=0
  "$OSTREL_CHECK" --format "$format" Mistakes.app >"$W/out" 2>"$W/err" || status=$?
  if [ "$status" -ne 1 ]; then
    failures=$((failures + 1))
    echo "FAIL: --format $format: exit status $status, not 1"
    sed 's/^/  | /' "$W/err"
  fi
  # The examples' folder may lie anywhere, and the tool's version changes with
  # every release: neither is part of the form.
  python3 - "$W/out" "$EX" "$format" <<'PY'
import json, sys
path, examples, form = sys.argv[1:]
text = open(path, encoding="utf-8").read()
if form == "sarif":
    log = json.loads(text)
    log["runs"][0]["tool"]["driver"]["version"] = "VERSION"
    text = json.dumps(log, indent=2, ensure_ascii=False) + "\n"
text = text.replace(examples + "/", "EXAMPLES/")
open(path, "w", encoding="utf-8").write(text)
PY
  if [ -n "${OSTREL_UPDATE_GOLDEN:-}" ]; then
    cp "$W/out" "$golden"
  elif ! diff -u "$golden" "$W/out" >"$W/diff"; then
    failures=$((failures + 1))
    echo "FAIL: --format $format differs from golden/Mistakes.$format:"
    head -40 "$W/diff"
  fi
done
echo "formats: $failures failures"
[ "$failures" -eq 0 ]
