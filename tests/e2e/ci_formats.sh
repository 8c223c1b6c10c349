#!/usr/bin/env bash
# --format gitlab and --format junit hold to their documented schemas
# (tests/data/schemas) on the examples, the real files and names that need
# escaping; GitLab's fingerprints are unique and stay while lines move.
set -u
source "$(dirname "$0")/common.bash"
: "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}"
SCHEMAS="$OSTREL_TEST_DATA/schemas"
if ! python3 -c 'import jsonschema' 2>/dev/null || ! command -v xmllint >/dev/null; then
  echo "ci_formats: python3-jsonschema or xmllint is not installed (tools/install-deps installs them): skipped"
  exit 77
fi

odd_files "$W/odd"
cp -R "$EX/Mistakes.app" "$W/"
files=("$EX"/* "$W/odd"/* "$W/missing.plist" "$OSTREL_TEST_DATA"/real/*)

cd "$W" || exit 1
junit() { xmllint --noout --schema "$SCHEMAS/junit.xsd" "$1" >"$W/err" 2>&1 || bad "--format junit does not hold to its schema"; }
for format in gitlab junit; do
  t 1 --format "$format" "${files[@]}"
  cp "$W/out" "$W/all.$format"
done
junit "$W/all.junit"
python3 - "$SCHEMAS/gitlab-code-quality.schema.json" "$W/all.gitlab" >"$W/err" 2>&1 <<'PY' || bad "--format gitlab does not hold to its schema"
import json, sys, jsonschema
schema, report = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:])
jsonschema.Draft202012Validator(schema).validate(report)
assert report, "no issues"
prints = [issue["fingerprint"] for issue in report]
assert len(set(prints)) == len(prints), "fingerprints repeat"
PY

# JUnit: a failure for each finding at --fail-on or worse (the errors alone by default:
# golden/Mistakes.junit), a passing case for a clean file.
failures() { python3 -c 'import sys, xml.etree.ElementTree as E; print(len(E.parse(sys.argv[1]).findall(".//failure")))' "$1"; }
t 1 --format junit --fail-on note Mistakes.app "$EX/Correct.app"
[ "$(failures "$W/out")" -eq 13 ] || bad "every finding fails with --fail-on note"
junit "$W/out"

# The fingerprints: the same in a second run, and while lines are added above the findings.
prints() { python3 -c 'import json, sys; print("\n".join(sorted(i["fingerprint"] for i in json.load(open(sys.argv[1])))))' "$1"; }
t 1 --format gitlab Mistakes.app
prints "$W/out" >"$W/before"
sed -i 's|^<dict>$|<dict>\n<!-- a comment\nof two lines -->|' Mistakes.app/Contents/Info.plist
t 1 --format gitlab Mistakes.app
prints "$W/out" >"$W/after"
grep -q '"begin": 38' "$W/out" || bad "the lines moved down by two"
diff -q "$W/before" "$W/after" >/dev/null || bad "fingerprints changed with the lines: $(diff "$W/before" "$W/after" | head -4)"
finish ci_formats
