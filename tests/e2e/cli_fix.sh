#!/usr/bin/env bash
# --fix and --diff over the examples, the real corpus and UTF-16 files: the diff applied by
# patch gives --fix's bytes; a second --fix changes nothing; no fixable finding
# is left and none appears; the values are those of before except at the
# fixed key paths; a full disk leaves the file as it was; the text report counts
# the fixes.
set -u
source "$(dirname "$0")/common.bash"
: "${OSTREL_TEST_DATA:?OSTREL_TEST_DATA must name tests/data}"
if ! command -v patch >/dev/null; then
  echo "cli_fix: patch is not installed: skipped"
  exit 77
fi

for copy in fixed patched; do
  mkdir -p "$W/$copy"
  cp -R "$EX"/. "$W/$copy/"
  cp -R "$OSTREL_TEST_DATA/real" "$W/$copy/real"
  # UTF-16 text holds NUL bytes, which diff takes for binary unless told.
  mkdir "$W/$copy/utf16"
  cp "$OSTREL_TEST_DATA"/peers/cpython/valid/xml_encodings-utf-16-*.plist "$W/$copy/utf16/"
done
cd "$W/fixed" || exit 1
# The examples (not the AppleDouble file ._LegacyTool), the corpus's files and the UTF-16 ones.
# shellcheck disable=SC2207
all=($(ls | grep -vxE 'real|utf16') real/* utf16/*)

"$OSTREL_CHECK" --format json "${all[@]}" >"$W/before.jsonl" 2>/dev/null
# The values before, of every property list in the copy.
find . -name '*.plist' -type f | sort >"$W/plists"
while read -r f; do "$OSTREL_CHECK" --dump "$f" >"$W/dump.$(echo "$f" | md5sum | cut -c1-12)" 2>/dev/null; done <"$W/plists"

t 1 --diff --unsafe-fixes "${all[@]}"
cp "$W/out" "$W/changes.diff"
[ -s "$W/changes.diff" ] || bad "--diff printed nothing for the examples and the corpus"
cmp -s <(find . -type f -exec md5sum {} + | sort) <(cd "$W/patched" && find . -type f -exec md5sum {} + | sort) ||
  bad "--diff changed a file"
t 1 --fix --unsafe-fixes "${all[@]}"
grep -q "fixed .* in Mistakes.app/Contents/Info.plist" "$W/err" || bad "--fix did not say what it fixed"
(cd "$W/patched" && patch -s -p1 <"$W/changes.diff") || bad "patch refused the diff"
diff -r "$W/fixed" "$W/patched" >"$W/out" 2>&1 || bad "--diff | patch differs from --fix"
t 1 --diff --unsafe-fixes "${all[@]}"
[ -s "$W/out" ] && bad "a second --diff still changes something"
"$OSTREL_CHECK" --format json --unsafe-fixes "${all[@]}" >"$W/after.jsonl" 2>/dev/null
while read -r f; do "$OSTREL_CHECK" --dump "$f" >"$W/after.$(echo "$f" | md5sum | cut -c1-12)" 2>/dev/null; done <"$W/plists"

python3 - "$W" <<'PY' || failures=$((failures + 1))
import hashlib, json, os, sys
w = sys.argv[1]
def findings(name):
    return [json.loads(l) for l in open(f"{w}/{name}.jsonl", encoding="utf-8") if l.strip()]
before, after = findings("before"), findings("after")
problems = []
left = [(f["read"], f["id"], f["keyPath"]) for f in after if "fix" in f]
seen = {(f["read"], f["id"], f["keyPath"]) for f in before}
new = [k for k in ((f["read"], f["id"], f["keyPath"]) for f in after) if k not in seen]
problems += [f"fixable findings remain: {left[:5]}"] * bool(left) + [f"new findings after --fix: {new[:5]}"] * bool(new)
# Key paths each fix touches: its own, and a renamed key's new one.
fixed = {}
for f in (f for f in before if "fix" in f):
    paths = fixed.setdefault(os.path.relpath(f["read"], os.path.join(w, "fixed")), set())
    parent = f["keyPath"].rpartition(".")[0]
    paths |= {f["keyPath"]} | ({(parent + "." if parent else "") + f["arguments"][-1]} if f["id"] == "KeyTypo" else set())
def flat(value, path, out, skip):
    if path and any(path == s or path.startswith((s + ".", s + "[")) for s in skip):
        return out
    items = value.items() if isinstance(value, dict) else enumerate(value) if isinstance(value, list) else ()
    for k, v in items:
        key = "%s[%d]" % (path, k) if isinstance(k, int) else f"{path}.{k}" if path else k
        flat(v, key, out, skip)
    if path:
        out[path] = type(value).__name__ if isinstance(value, (dict, list)) else json.dumps(value, sort_keys=True)
    return out
changed = 0
for f in (line.strip() for line in open(os.path.join(w, "plists"))):
    tag = hashlib.md5((f + "\n").encode()).hexdigest()[:12]
    a, b = (open(os.path.join(w, p + "." + tag), encoding="utf-8").read() for p in ("dump", "after"))
    if a:
        skip = fixed.get(os.path.normpath(f), set())
        x, y = (flat(json.loads(d), "", {}, skip) for d in (a, b))
        if x != y:
            problems.append(f"values changed beyond the fixed key paths in {f}: {sorted(set(x.items()) ^ set(y.items()))[:4]}")
        changed += a != b
problems += ["no file's values changed"] * (changed == 0)
print("".join(f"FAIL: {p}\n" for p in problems), end="")
sys.exit(1 if problems else 0)
PY

# A full disk: a small file system of its own (root's private mount) has no room for the fixed copy.
if unshare -m true 2>/dev/null; then
  mkdir -p "$W/full"
  unshare -m bash -c '
    mount -t tmpfs -o size=12k tmpfs "$1" || exit 77
    { printf "<plist version=\"1.0\">\n<dict>\n\t<key>NSPrincipleClass</key>\n\t<string>"
      head -c 7000 /dev/zero | tr "\0" x
      printf "</string>\n</dict>\n</plist>\n"; } >"$1/a.plist"
    cp "$1/a.plist" "$2/full.before"
    "$3" --fix "$1/a.plist" >"$2/out" 2>"$2/err"
    cmp -s "$1/a.plist" "$2/full.before" || exit 3
    [ -z "$(ls -A "$1" | grep -v "^a.plist$")" ] || exit 4
    grep -q "a.plist was not fixed: .*space" "$2/err" || exit 5' _ "$W/full" "$W" "$OSTREL_CHECK"
  status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || bad "a full disk: status $status (3: the file changed, 4: a file left beside it, 5: no reason told)"
else
  echo "cli_fix: no private mount for a full file system here: that case skipped"
fi

t 1 "$EX/Mistakes.app"
grep -qx "fix available: 4 with --fix, 1 more with --unsafe-fixes" "$W/err" || bad "the text report does not count the fixes"
finish cli_fix
