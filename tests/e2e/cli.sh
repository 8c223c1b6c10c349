#!/usr/bin/env bash
# ostrel-check end to end: the examples, generated files, the options, usage errors,
# what decides the status, the terminal and standard input (the tables e2e-cli.psv,
# cli-runs.psv and cli-terminal.psv). The example with mistakes, in every form: formats_golden.sh.
set -u
source "$(dirname "$0")/common.bash"

# A whole product packed by the tool, and a damaged archive.
python3 "$EX/../tools/pack-examples" "$W/packed" >/dev/null || bad "tools/pack-examples failed"
printf 'PK\003\004 cut short' >"$W/packed/Cut.zip"
# Generated files; the desktop application's settings, which change the report only when asked for.
D="$W/d"
plist "$D/warn.plist" '<dict><key>CFBundleIdentifier</key><string>$(ID)</string><key>Extra</key><true/></dict>'
plist "$D/array.plist" '<array/>'
printf '{ a = "open' >"$D/broken.plist"
mkdir -p "$D/Plain" "$XDG_CONFIG_HOME/Ostrel" "$W/bad-resources" "$W/names"
printf '[General]\nNoteUnknownKeys=false\n' >"$XDG_CONFIG_HOME/Ostrel/Ostrel.ini"
# Rules, texts and ignore lists of one's own.
plist "$D/rules.plist" '<dict><key>keys</key><dict><key>Foo</key><dict><key>required</key><true/></dict></dict></dict>'
printf '"NotDict" = "NOT A DICTIONARY\\n"; "CheckingPrefix" = "== ";' >"$D/mine.strings"
printf '# accepted\n\nUnknownTopKey:Extra\n  BIDBadChar\nNoRecTopKey\n' >"$D/accepted"
printf 'NoSuchKey\n' >"$D/wrong-ignore"
# The ignore list against the cap, rules a resources folder brings, names that are
# not UTF-8 in SARIF, strings tables that would write lines of their own.
printf '<plist><dict>%s</dict></plist>' "$(printf '<key>X%05d</key><string/>' $(seq 0 10009))" >"$W/over-cap.plist"
echo 'not <plist' >"$W/bad-resources/rules.plist"
for name in small names/$'h\xff\xfe' names/$'h\xfe\xff'; do printf '<plist><dict/></plist>' >"$W/$name.plist"; done
printf '"CheckingPrefix" = "Checking\\n::set-env name=X::1\\n";\n' >"$W/set-env.strings"
printf '<plist><array/></plist>' >"$W/stdin.plist"
# shellcheck disable=SC2034 # read by the case table
esc=$'\e['
export TERM=xterm
cd "$EX" || exit 1
rows e2e-cli.psv
rows cli-runs.psv
rows cli-terminal.psv

# JSON lines, one a finding: file given, file read, severity, text.
t 1 --format json "$EX/Correct.app" "$D/array.plist"
python3 - "$W/out" "$EX" "$D" <<'PY' || bad "json"
import json, sys
out, ex, d = sys.argv[1:]
got = [tuple(json.loads(l)[k] for k in ("file", "read", "severity", "text")) for l in open(out, encoding="utf-8")]
assert got == [(d + "/array.plist", d + "/array.plist", "error", "The property list holds no dictionary at its "
                "top level. An information property list must be a dictionary of keys and values.")], got
PY
t 0 --list-findings --format json
python3 - "$W/out" <<'PY' || bad "--list-findings --format json"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
assert {"id": "KeyTypo", "severity": "warning", "title": "An unknown key close to a known one"} in lines, lines
assert len({l["id"] for l in lines}) == len(lines) and all(l["title"] for l in lines)
PY

finish "e2e cli"
