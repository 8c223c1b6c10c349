#!/usr/bin/env bash
# Every output form of ostrel-check on the example with mistakes, word for word
# against the files in golden/. After a deliberate change of the report, write
# them anew with OSTREL_UPDATE_GOLDEN=1 and read the difference before committing.
set -u
source "$(dirname "$0")/common.bash"
HERE="$(cd "$(dirname "$0")" && pwd)"

cd "$EX" || exit 1
for format in text gnu json sarif github gitlab junit; do
  golden="$HERE/golden/Mistakes.$format"
  t 1 --format "$format" Mistakes.app
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
  else
    diff -u "$golden" "$W/out" >"$W/diff" || bad "--format $format differs from golden/Mistakes.$format:
$(head -40 "$W/diff")"
  fi
done
finish formats
