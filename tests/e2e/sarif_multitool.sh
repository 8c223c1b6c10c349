#!/usr/bin/env bash
# Our SARIF logs pass the SARIF Multitool's validation with no error: the
# examples, the real corpus and file names that need escaping, in one log.
set -u
source "$(dirname "$0")/common.bash"
: "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}"
if [ -z "${OSTREL_SARIF_MULTITOOL:-}" ]; then
  echo "sarif_multitool: the SARIF Multitool is not installed (tools/install-deps installs it): skipped"
  exit 77
fi

# Files below the working directory get relative names, the others absolute ones.
odd_files "$W/odd"
files=("$EX"/* "$W/odd"/* "$W/missing.plist" "$OSTREL_TEST_DATA"/real/*)

cd "$W" || exit 1
"$OSTREL_CHECK" --format sarif "${files[@]}" >"$W/log.sarif" 2>"$W/err"
status=$?
[ "$status" -eq 1 ] || { echo "FAIL: exit status $status, not 1"; cat "$W/err"; exit 1; }
"$OSTREL_SARIF_MULTITOOL" validate "$W/log.sarif" --output "$W/validation.sarif" --log ForceOverwrite \
  >"$W/tool.out" 2>&1
tool_status=$?
python3 - "$W/validation.sarif" "$tool_status" <<'PY'
import json, sys
path, tool_status = sys.argv[1], int(sys.argv[2])
results = json.load(open(path, encoding="utf-8"))["runs"][0].get("results", [])
errors = [r for r in results if r.get("level", "warning") == "error"]
for r in results:
    message = r["message"].get("text") or " ".join(r["message"].get("arguments", []))
    print("%s %s: %s" % (r.get("level", "warning"), r.get("ruleId"), message))
print("SARIF Multitool: %d errors, %d other results (its exit status %d)" % (len(errors), len(results) - len(errors), tool_status))
sys.exit(1 if errors or tool_status != 0 else 0)
PY
